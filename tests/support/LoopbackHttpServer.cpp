#include "LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

CLoopbackHttpServer::~CLoopbackHttpServer() { Stop(); }

bool CLoopbackHttpServer::Start(int port) {
  if (port == 0) {
    m_port = m_server.bind_to_any_port("127.0.0.1");
  } else {
    m_port = m_server.bind_to_port("127.0.0.1", port) ? port : -1;
  }
  if (m_port <= 0) return false;
  m_thread = std::thread([this] { m_server.listen_after_bind(); });
  for (int i = 0; i < 400 && !m_server.is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return m_server.is_running();
}

void CLoopbackHttpServer::Stop() {
  if (m_thread.joinable()) {
    m_server.stop();
    m_thread.join();
  }
}

std::string CLoopbackHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

int CLoopbackHttpServer::UnusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}
