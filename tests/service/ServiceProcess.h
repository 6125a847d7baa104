#pragma once
// The real zenu-service as a child process, its standard output kept.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zenu::test {

// Run as root, it loses the right to read files whatever their mode, so an unreadable file
// is unreadable to it too.
class ServiceProcess final {
 public:
  explicit ServiceProcess(const std::vector<std::string>& args) {
    int out[2];
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
      ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
      std::vector<char*> argv;
      std::string exe = ZENU_SERVICE_EXE;
      argv.push_back(exe.data());
      std::vector<std::string> copy = args;
      for (std::string& a : copy) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    reader_ = std::thread([this, fd = out[0]] {
      char buf[4096];
      for (ssize_t n; (n = ::read(fd, buf, sizeof(buf))) > 0;) {
        std::lock_guard<std::mutex> lock(mutex_);
        output_.append(buf, static_cast<size_t>(n));
      }
      ::close(fd);
    });
  }
  ~ServiceProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    if (reader_.joinable()) reader_.join();
  }
  std::string Output() {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
  }
  // From "zenu-service listening on 127.0.0.1:<port>".
  int WaitForPort() {
    for (int i = 0; i < 1000; ++i) {
      std::string out = Output();
      size_t end = out.find('\n');
      if (end != std::string::npos) {
        return std::atoi(out.substr(out.rfind(':', end) + 1).c_str());
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
  }
  void Signal(int sig) { ::kill(pid_, sig); }
  // The exit code of a command that ends by itself.
  int Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    if (reader_.joinable()) reader_.join();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::string output_;
};

}  // namespace zenu::test
