#include "zenuModule/src/desktop/Shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "zenuModule/src/TextCodec.h"

extern char** environ;

namespace {
class CPosixShell final : public IShell {
 public:
  bool Open(const CString& target) override {
    if (target.empty()) return false;
    const CString utf8 = GBKToUtf8(target);
    // A middle process that exits at once leaves xdg-open to init, so no zombie
    // waits for a reaper and the caller never blocks on the handler.
    const pid_t middle = ::fork();
    if (middle < 0) return false;
    if (middle == 0) {
      ::setsid();
      char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(utf8.c_str()),
                            nullptr};
      pid_t child = 0;
      const int rc = ::posix_spawnp(&child, "xdg-open", nullptr, nullptr, argv, environ);
      ::_exit(rc == 0 ? 0 : 1);
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
