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
  bool Open(const CString& target) override { return Run(target, 0); }
  bool OpenChecked(const CString& target) override { return Run(target, kCheckMs); }

 private:
  // xdg-open may run the handler in the foreground: after this long the
  // handler counts as started.
  static constexpr int kCheckMs = 3000;

  // waitMs 0: true once xdg-open was started; otherwise also its exit status
  // when it ends within waitMs.
  static bool Run(const CString& target, int waitMs) {
    if (target.empty()) return false;
    const CString utf8 = GBKToUtf8(target);
    // A middle process that exits at once leaves xdg-open to init, so no zombie
    // waits for a reaper and the caller never blocks on the handler for long.
    const pid_t middle = ::fork();
    if (middle < 0) return false;
    if (middle == 0) {
      ::setsid();
      char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(utf8.c_str()),
                            nullptr};
      pid_t child = 0;
      if (::posix_spawnp(&child, "xdg-open", nullptr, nullptr, argv, environ) != 0) ::_exit(1);
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
