#include "zenuModule/src/desktop/Shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/desktop/InstalledApps.h"

extern char** environ;

namespace {
class CPosixShell final : public IShell {
 public:
  bool Open(const CString& target) override { return Run(target, 0); }
  bool OpenChecked(const CString& target) override { return Run(target, kCheckMs); }
  bool OpenWithDefaultFor(const CString& target, const CString& mimeType) override {
    CString desktopId;
    std::vector<std::string> argv;
    if (InstalledApps().DefaultFor(mimeType, desktopId) && !desktopId.empty() &&
        CommandOf(GBKToUtf8(desktopId), GBKToUtf8(target), argv) && Spawn(argv, 0))
      return true;
    return Open(target);
  }

 private:
  // xdg-open may run the handler in the foreground: after this long the
  // handler counts as started.
  static constexpr int kCheckMs = 3000;

  // waitMs 0: true once xdg-open was started; otherwise also its exit status
  // when it ends within waitMs.
  static bool Run(const CString& target, int waitMs) {
    if (target.empty()) return false;
    return Spawn({"xdg-open", GBKToUtf8(target)}, waitMs);
  }

  // The desktop entry's command line for one URL (its Exec key, with the
  // field codes filled in); false for an entry that is missing, hidden or runs
  // in a terminal, which xdg-open handles better.
  static bool CommandOf(const std::string& desktopId, const std::string& url,
                        std::vector<std::string>& argv) {
    if (desktopId.find('/') != std::string::npos || desktopId.size() > 255) return false;
    std::vector<std::string> folders;
    const char* home = std::getenv("XDG_DATA_HOME");
    const char* user = std::getenv("HOME");
    if (home && *home == '/') {
      folders.push_back(home);
    } else if (user && *user == '/') {
      folders.push_back(std::string(user) + "/.local/share");
    }
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string list = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
    for (size_t at = 0; at <= list.size();) {
      const size_t end = std::min(list.find(':', at), list.size());
      if (end > at && list[at] == '/') folders.push_back(list.substr(at, end - at));
      at = end + 1;
    }
    for (const std::string& folder : folders) {
      std::ifstream entry(folder + "/applications/" + desktopId);
      if (!entry) continue;
      std::string line;
      std::string exec;
      bool inMain = false;
      bool usable = true;
      while (std::getline(entry, line)) {
        if (!line.empty() && line[0] == '[') {
          inMain = line == "[Desktop Entry]";
        } else if (inMain && line.compare(0, 5, "Exec=") == 0) {
          exec = line.substr(5);
        } else if (inMain && (line == "Terminal=true" || line == "Hidden=true")) {
          usable = false;
        }
      }
      return usable && SplitExec(exec, url, argv);
    }
    return false;
  }

  static bool SplitExec(const std::string& exec, const std::string& url,
                        std::vector<std::string>& argv) {
    // The string escapes of the key's value first, then the quoting rules.
    std::string value;
    for (size_t i = 0; i < exec.size(); ++i) {
      if (exec[i] == '\\' && i + 1 < exec.size()) {
        const char c = exec[++i];
        value += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
        if (c != 's' && c != 'n' && c != 't' && c != 'r' && c != '\\')
          value.insert(value.size() - 1, "\\");
      } else {
        value += exec[i];
      }
    }
    argv.clear();
    bool urlPlaced = false;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t i = 0; i <= value.size(); ++i) {
      const char c = i < value.size() ? value[i] : ' ';
      if (quoted) {
        if (c == '"') {
          quoted = false;
        } else if (c == '\\' && i + 1 < value.size()) {
          word += value[++i];
        } else {
          word += c;
        }
        continue;
      }
      if (c == ' ' || c == '\t') {
        if (inWord) argv.push_back(word);
        word.clear();
        inWord = false;
      } else if (c == '"') {
        quoted = inWord = true;
      } else if (c == '%' && i + 1 < value.size()) {
        const char code = value[++i];
        inWord = true;
        if (code == '%') {
          word += '%';
        } else if (code == 'u' || code == 'U' || code == 'f' || code == 'F') {
          if (!urlPlaced) word += url;
          urlPlaced = true;
        }
      } else {
        word += c;
        inWord = true;
      }
    }
    if (quoted) return false;
    // Field codes that stood alone and gave nothing leave no argument.
    std::vector<std::string> kept;
    for (std::string& a : argv) {
      if (!a.empty()) kept.push_back(std::move(a));
    }
    argv = std::move(kept);
    if (argv.empty()) return false;
    if (!urlPlaced) argv.push_back(url);
    return true;
  }

  static bool Spawn(const std::vector<std::string>& args, int waitMs) {
    std::vector<char*> argvp;
    for (const std::string& a : args) argvp.push_back(const_cast<char*>(a.c_str()));
    argvp.push_back(nullptr);
    // A middle process that exits at once leaves xdg-open to init, so no zombie
    // waits for a reaper and the caller never blocks on the handler for long.
    const pid_t middle = ::fork();
    if (middle < 0) return false;
    if (middle == 0) {
      ::setsid();
      pid_t child = 0;
      if (::posix_spawnp(&child, argvp[0], nullptr, nullptr, argvp.data(), environ) != 0)
        ::_exit(1);
      for (int waited = 0; waited < waitMs; waited += 50) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
          ::_exit(WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1);
        ::usleep(50 * 1000);
      }
      ::_exit(0);
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0) {
      if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
};
}  // namespace

IShell& SystemShell() {
  static CPosixShell shell;
  return shell;
}
