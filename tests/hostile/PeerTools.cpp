#include "tests/hostile/PeerTools.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace {
sockaddr_in LoopbackAddress(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}
}  // namespace

bool CanShareLoopbackPort(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr = LoopbackAddress(port);
  const bool shared = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                      ::listen(fd, 1) == 0;
  ::close(fd);
  return shared;
}

int ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr = LoopbackAddress(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int ConnectLoopbackAs(int port, unsigned uid) {
  // A socket belongs to the file-system identity of the thread that made it.
  const bool switched = ::geteuid() == 0;
  if (switched) ::setfsuid(uid);
  const int fd = ConnectLoopback(port);
  if (switched) ::setfsuid(0);
  return fd;
}

bool SendSome(int fd, const std::string& bytes) {
  pollfd p{fd, POLLOUT, 0};
  if (::poll(&p, 1, 50) <= 0) return !PeerClosed(fd);
  return ::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0 ||
         errno == EAGAIN;
}

bool PeerClosed(int fd) {
  char drop[4096];
  for (;;) {
    const ssize_t n = ::recv(fd, drop, sizeof drop, MSG_DONTWAIT);
    if (n == 0) return true;
    if (n < 0) return errno != EAGAIN && errno != EWOULDBLOCK;
  }
}

std::string Exchange(int port, const std::string& request, int ms) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) return std::string();
  std::string answer;
  size_t sent = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, static_cast<short>(POLLIN | (sent < request.size() ? POLLOUT : 0)), 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    if ((p.revents & POLLOUT) && sent < request.size()) {
      const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n > 0) sent += static_cast<size_t>(n);
    }
    if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
      char buf[65536];
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      answer.append(buf, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  return answer;
}

int StatusOf(const std::string& answer) {
  if (answer.rfind("HTTP/1.", 0) != 0 || answer.size() < 12) return 0;
  return std::atoi(answer.c_str() + 9);
}
