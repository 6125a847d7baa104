#include "TargetFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {
class CFd final {
 public:
  explicit CFd(int fd) : m_fd(fd) {}
  ~CFd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  CFd(const CFd&) = delete;
  CFd& operator=(const CFd&) = delete;
  int Get() const { return m_fd; }
  void Reset(int fd) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }

 private:
  int m_fd;
};

// The folder name inside dir, made when missing; never reached through a link.
int OpenChildFolder(int dir, const std::string& name) {
  if (::mkdirat(dir, name.c_str(), 0755) != 0 && errno != EEXIST) return -1;
  return ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

std::vector<std::string> Elements(const std::string& path) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    if (slash > pos) parts.push_back(path.substr(pos, slash - pos));
    pos = slash + 1;
  }
  return parts;
}

std::string LinkRefused(const std::string& path) {
  return "“" + path + "”是一个链接或不是普通的文件夹或文件，为安全起见下载不会写入其中";
}
}  // namespace

bool PrepareTargetFolder(const std::string& target, const lt::file_storage& files,
                         std::string& resolved, std::string& error) {
  std::string path = target;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? std::string() : path.substr(slash + 1);
  if (path.empty() || path[0] != '/' || name.empty() || name == "." || name == "..") {
    error = "保存位置无效: " + target;
    return false;
  }
  const std::string parent = slash == 0 ? "/" : path.substr(0, slash);
  std::error_code made;
  std::filesystem::create_directories(parent, made);
  char* real = ::realpath(parent.c_str(), nullptr);
  if (!real) {
    error = "无法创建保存位置 " + target + ": " + std::strerror(errno);
    return false;
  }
  const std::string base = real;
  std::free(real);

  const CFd parentFd(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  const CFd top(parentFd.Get() < 0 ? -1 : OpenChildFolder(parentFd.Get(), name));
  if (top.Get() < 0) {
    error = errno == ELOOP || errno == ENOTDIR
                ? LinkRefused(target)
                : "无法创建保存位置 " + target + ": " + std::strerror(errno);
    return false;
  }
  for (const lt::file_index_t i : files.file_range()) {
    if (files.pad_file_at(i)) continue;
    const std::vector<std::string> parts = Elements(files.file_path(i));
    if (parts.empty()) continue;
    CFd dir(::dup(top.Get()));
    std::string shown = target;
    int failure = 0;
    for (size_t k = 0; k + 1 < parts.size() && dir.Get() >= 0; ++k) {
      shown += "/" + parts[k];
      const int next = OpenChildFolder(dir.Get(), parts[k]);
      failure = errno;
      dir.Reset(next);
    }
    struct stat st {};
    const bool refused = dir.Get() < 0 || (::fstatat(dir.Get(), parts.back().c_str(), &st,
                                                     AT_SYMLINK_NOFOLLOW) == 0 &&
                                           !S_ISREG(st.st_mode));
    if (refused) {
      error = dir.Get() < 0 && failure != ELOOP && failure != ENOTDIR
                  ? "无法创建保存位置 " + shown + ": " + std::strerror(failure)
                  : LinkRefused(dir.Get() < 0 ? shown : target + "/" + files.file_path(i));
      return false;
    }
  }
  resolved = base == "/" ? "/" + name : base + "/" + name;
  return true;
}
