#include "zenuModule/src/desktop/InstalledApps.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <set>

#include "zenuModule/src/TextCodec.h"

extern char** environ;

namespace {
IInstalledApps* g_installedApps = nullptr;

constexpr size_t kMaxEntryBytes = 64 * 1024;
constexpr size_t kMaxEntries = 20000;
constexpr int kMaxDepth = 4;
constexpr int kQueryTimeoutMs = 5000;

CString Trim(const CString& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == CString::npos) return CString();
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// The escapes a desktop entry's string values may hold.
CString Unescape(const CString& value) {
  CString out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const char c = value[++i];
    out += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
  }
  return out;
}

// The applications folders in the order the desktop gives them precedence.
std::vector<CString> ApplicationFolders() {
  std::vector<CString> dirs;
  const char* home = std::getenv("XDG_DATA_HOME");
  if (home && *home) {
    dirs.push_back(home);
  } else if (const char* h = std::getenv("HOME")) {
    dirs.push_back(CString(h) + "/.local/share");
  }
  const char* data = std::getenv("XDG_DATA_DIRS");
  CString list = data && *data ? data : "/usr/local/share/:/usr/share/";
  size_t start = 0;
  while (start <= list.size()) {
    const size_t colon = list.find(':', start);
    const CString dir = list.substr(start, colon == CString::npos ? CString::npos : colon - start);
    if (!dir.empty()) dirs.push_back(dir);
    if (colon == CString::npos) break;
    start = colon + 1;
  }
  for (CString& d : dirs) {
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    d += "/applications";
  }
  return dirs;
}

// False when the entry cannot be read; bHidden when it hides itself.
bool ReadEntry(const CString& file, SInstalledApp& app, bool& bHidden) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  CString text(kMaxEntryBytes, '\0');
  in.read(&text[0], static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  bHidden = false;
  bool inMain = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == CString::npos) end = text.size();
    const CString line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inMain = line == "[Desktop Entry]";
      continue;
    }
    if (!inMain) continue;
    const size_t eq = line.find('=');
    if (eq == CString::npos) continue;
    const CString key = Trim(line.substr(0, eq));
    const CString value = Utf8ToGBK(Unescape(Trim(line.substr(eq + 1))));
    if (key == "Hidden" && Trim(line.substr(eq + 1)) == "true") bHidden = true;
    if (key == "Name" || key.compare(0, 5, "Name[") == 0) {
      app.arrValues.emplace_back("Display" + key, value);
    } else if (key == "Icon") {
      app.arrValues.emplace_back("DisplayIcon", value);
    }
  }
  return true;
}

void Scan(const CString& folder, const CString& prefix, int depth, std::set<CString>& seen,
          std::vector<SInstalledApp>& apps) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<CString> names;
  while (const dirent* e = ::readdir(dir)) {
    const CString name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  for (const CString& name : names) {
    if (apps.size() >= kMaxEntries) return;
    const CString path = folder + "/" + name;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      if (depth < kMaxDepth) Scan(path, prefix + name + "-", depth + 1, seen, apps);
      continue;
    }
    if (!S_ISREG(st.st_mode) || name.size() <= 8 ||
        name.compare(name.size() - 8, 8, ".desktop") != 0)
      continue;
    const CString id = prefix + name;
    // An id found in a folder of higher precedence hides the others.
    if (!seen.insert(id).second) continue;
    SInstalledApp app;
    app.strId = Utf8ToGBK(id);
    bool bHidden = false;
    if (ReadEntry(path, app, bHidden) && !bHidden) apps.push_back(std::move(app));
  }
}

int64_t NowMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Runs a command and keeps the first bytes it prints; false when it could not
// run or did not end in time.
bool RunAndRead(const std::vector<CString>& args, CString& out) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const CString& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    return false;
  }
  out.clear();
  const int64_t deadline = NowMs() + kQueryTimeoutMs;
  bool timedOut = false;
  for (;;) {
    const int64_t left = deadline - NowMs();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    const int n = ::poll(&p, 1, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      timedOut = n == 0;
      break;
    }
    char buf[512];
    const ssize_t got = ::read(fds[0], buf, sizeof buf);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (out.size() < 4096) out.append(buf, static_cast<size_t>(got));
  }
  ::close(fds[0]);
  if (timedOut) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut) return false;
  // 127: the shell of the command could not find what it runs.
  return WIFEXITED(status) && WEXITSTATUS(status) != 127;
}

class CXdgInstalledApps final : public IInstalledApps {
 public:
  bool List(std::vector<SInstalledApp>& apps) override {
    apps.clear();
    std::set<CString> seen;
    bool anyFolder = false;
    for (const CString& folder : ApplicationFolders()) {
      struct stat st {};
      if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
          ::access(folder.c_str(), R_OK | X_OK) != 0)
        continue;
      anyFolder = true;
      Scan(folder, CString(), 0, seen, apps);
    }
    return anyFolder;
  }

  bool DefaultFor(const CString& strMimeType, CString& strDesktopId) override {
    CString out;
    if (!RunAndRead({"xdg-mime", "query", "default", GBKToUtf8(strMimeType)}, out)) return false;
    const size_t nl = out.find('\n');
    strDesktopId = Utf8ToGBK(Trim(out.substr(0, nl)));
    return true;
  }
};
}  // namespace

IInstalledApps& SystemInstalledApps() {
  static CXdgInstalledApps apps;
  return apps;
}

CString UserVideosFolder() {
  // xdg-user-dir answers $HOME itself for a folder the user has not set up.
  CString out;
  if (RunAndRead({"xdg-user-dir", "VIDEOS"}, out)) {
    const CString folder = Trim(out.substr(0, out.find('\n')));
    if (!folder.empty() && folder[0] == '/') return Utf8ToGBK(folder);
  }
  const char* home = std::getenv("HOME");
  return home && *home == '/' ? Utf8ToGBK(home) : CString();
}

IInstalledApps& InstalledApps() {
  return g_installedApps ? *g_installedApps : SystemInstalledApps();
}
void SetInstalledApps(IInstalledApps* apps) { g_installedApps = apps; }
