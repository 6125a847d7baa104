#include "tests/hostile/PeerTools.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <fstream>

long PeakRssKb(long pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

int ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool SendSome(int fd, const std::string& bytes) {
  pollfd p{fd, POLLOUT, 0};
  if (::poll(&p, 1, 50) <= 0) return !PeerClosed(fd);
  return ::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0 || errno == EAGAIN;
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

std::string GzipZeros(size_t size) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
  const std::string zeros(1 << 20, '\0');
  std::string out;
  char buf[65536];
  size_t left = size;
  int flush = Z_NO_FLUSH;
  do {
    const size_t piece = std::min(left, zeros.size());
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    z.avail_in = static_cast<uInt>(piece);
    left -= piece;
    flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = reinterpret_cast<Bytef*>(buf);
      z.avail_out = sizeof buf;
      deflate(&z, flush);
      out.append(buf, sizeof buf - z.avail_out);
    } while (z.avail_out == 0);
  } while (flush != Z_FINISH);
  deflateEnd(&z);
  return out;
}
