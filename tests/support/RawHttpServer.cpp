#include "RawHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

CRawHttpServer::CRawHttpServer(Reply reply) : m_reply(std::move(reply)) {
  m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
  if (m_listener < 0) throw std::runtime_error("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(m_listener, 16) != 0 ||
      ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(m_listener);
    throw std::runtime_error("bind");
  }
  m_port = ntohs(addr.sin_port);
  m_acceptor = std::thread([this] { AcceptLoop(); });
}

CRawHttpServer::~CRawHttpServer() { Stop(); }

std::string CRawHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<std::string> CRawHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

void CRawHttpServer::Stop() {
  if (m_stopping.exchange(true)) return;
  ::shutdown(m_listener, SHUT_RDWR);
  if (m_acceptor.joinable()) m_acceptor.join();
  ::close(m_listener);
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int fd : m_connections) ::shutdown(fd, SHUT_RDWR);
    workers.swap(m_workers);
  }
  for (auto& worker : workers) worker.join();
  std::lock_guard<std::mutex> lock(m_mutex);
  for (int fd : m_connections) ::close(fd);
  m_connections.clear();
}

bool CRawHttpServer::Pause(int ms) const {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!m_stopping && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return !m_stopping;
}

bool CRawHttpServer::SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::string CRawHttpServer::Head(long long contentLength) {
  return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
         std::to_string(contentLength) + "\r\n\r\n";
}

void CRawHttpServer::AcceptLoop() {
  for (;;) {
    const int fd = ::accept(m_listener, nullptr, nullptr);
    if (fd < 0) {
      if (m_stopping) return;
      continue;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping) {
      ::close(fd);
      return;
    }
    m_connections.push_back(fd);
    m_workers.emplace_back([this, fd] {
      std::string head;
      char piece[4096];
      while (head.find("\r\n\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) == 0) {
          if (m_stopping) return;
          continue;
        }
        const ssize_t n = ::recv(fd, piece, sizeof piece, 0);
        if (n <= 0) return;
        head.append(piece, static_cast<size_t>(n));
      }
      head.erase(head.find("\r\n\r\n") + 4);
      {
        std::lock_guard<std::mutex> inner(m_mutex);
        m_requests.push_back(head);
      }
      m_reply(*this, fd, head);
      // The reply decides when the bytes end; closing is left to Stop so that a
      // silent or stalled peer stays open.
    });
  }
}
