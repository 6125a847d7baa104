#include "zenuModule/src/desktop/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "zenuModule/src/TextCodec.h"

CString ToSysPath(const CString& gbkPath) { return GBKToUtf8(gbkPath); }

bool PathExists(const CString& path) {
  struct stat st {};
  return ::stat(ToSysPath(path).c_str(), &st) == 0;
}

bool IsFolder(const CString& path) {
  struct stat st {};
  return ::stat(ToSysPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRealFolder(const CString& path) {
  struct stat st {};
  return ::lstat(ToSysPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RegularFileSize(const CString& path, int64_t& size) {
  struct stat st {};
  if (::stat(ToSysPath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = static_cast<int64_t>(st.st_size);
  return true;
}

CString RealPath(const CString& path) {
  char* resolved = ::realpath(ToSysPath(path).c_str(), nullptr);
  if (!resolved) return CString();
  CString out = Utf8ToGBK(resolved);
  std::free(resolved);
  return out;
}

bool MakeFolder(const CString& path) { return ::mkdir(ToSysPath(path).c_str(), 0755) == 0; }
bool RemoveFile(const CString& path) { return ::unlink(ToSysPath(path).c_str()) == 0; }
bool RemoveEmptyFolder(const CString& path) { return ::rmdir(ToSysPath(path).c_str()) == 0; }
bool RenamePath(const CString& from, const CString& to) {
  return ::rename(ToSysPath(from).c_str(), ToSysPath(to).c_str()) == 0;
}

bool MakeLink(const CString& target, const CString& link) {
  return ::symlink(ToSysPath(target).c_str(), ToSysPath(link).c_str()) == 0;
}

CString LinkTarget(const CString& path) {
  char buf[PATH_MAX] = {0};
  const ssize_t n = ::readlink(ToSysPath(path).c_str(), buf, sizeof buf - 1);
  return n > 0 ? Utf8ToGBK(CString(buf, static_cast<size_t>(n))) : CString();
}

FILE* OpenFile(const CString& path, const char* mode) {
  return std::fopen(ToSysPath(path).c_str(), mode);
}

bool ReadWholeFile(const CString& path, CString& content) {
  FILE* f = OpenFile(path, "rb");
  if (!f) return false;
  content.clear();
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) content.append(chunk, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

namespace {
bool WriteAll(int fd, const CString& content) {
  const char* p = content.data();
  size_t left = content.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteWithFlags(const CString& path, const CString& content, int flags) {
  const int fd = ::open(ToSysPath(path).c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool ok = WriteAll(fd, content);
  return (::close(fd) == 0) && ok;
}
}  // namespace

bool WriteWholeFile(const CString& path, const CString& content) {
  return WriteWithFlags(path, content, O_TRUNC);
}

bool AppendToFile(const CString& path, const CString& content) {
  return WriteWithFlags(path, content, O_APPEND);
}

bool CanListFolder(const CString& path) {
  DIR* dir = ::opendir(ToSysPath(path).c_str());
  if (!dir) return false;
  ::closedir(dir);
  return true;
}

std::vector<CString> ListFolder(const CString& path) {
  std::vector<CString> names;
  DIR* dir = ::opendir(ToSysPath(path).c_str());
  if (!dir) return names;
  while (dirent* entry = ::readdir(dir)) {
    const CString name = entry->d_name;
    if (name == "." || name == "..") continue;
    names.push_back(Utf8ToGBK(name));
  }
  ::closedir(dir);
  return names;
}

CString GetCurrentFolder() {
  char buf[PATH_MAX] = {0};
  if (!::getcwd(buf, sizeof buf)) return CString();
  return Utf8ToGBK(buf);
}

bool SetCurrentFolder(const CString& path) { return ::chdir(ToSysPath(path).c_str()) == 0; }
