#include "MediaProbe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "ProgramPath.h"

extern char** environ;

namespace zenu {

std::string MediaProbe::FindTool() { return FindProgram("ffprobe"); }

MediaFacts MediaProbe::Probe(const std::string& tool, const std::string& path) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return {};
  std::vector<std::string> args = {tool,
                                   "-v",
                                   "error",
                                   "-show_entries",
                                   "format=duration,format_name",
                                   "-of",
                                   "default=noprint_wrappers=1",
                                   path};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (rc != 0) {
    ::close(out[0]);
    return {};
  }
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool timedOut = false;
  while (text.size() < 1024) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{out[0], POLLIN, 0};
    int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buf[256];
    ssize_t n = ::read(out[0], buf, sizeof(buf));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(out[0]);
  if (timedOut) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  // "format_name=matroska,webm" and "duration=5400.2", one a line, in either order.
  MediaFacts facts;
  size_t from = 0;
  while (from < text.size()) {
    size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(from, end - from);
    from = end + 1;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    if (key == "duration") {
      char* stop = nullptr;
      const double seconds = std::strtod(value.c_str(), &stop);
      if (stop != value.c_str() && seconds > 0 && seconds <= 1e6) {
        facts.durationSeconds = static_cast<int>(seconds + 0.5);
      }
    } else if (key == "format_name" && value.size() <= 64 &&
               value.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_,") ==
                   std::string::npos) {
      facts.container = value;
    }
  }
  return facts;
}

}  // namespace zenu
