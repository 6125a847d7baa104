#include "LocalHttpServer.h"

#include <httplib.h>
#include <sys/stat.h>

#include "GuardedHttpServer.h"

CLocalHttpServer::CLocalHttpServer() = default;

CLocalHttpServer::~CLocalHttpServer() { Stop(std::chrono::milliseconds(2000)); }

void CLocalHttpServer::AddRoutes() {
  for (const auto& install : m_installers) install(*m_server);
  // Every answer, errors included, carries a body and so a Content-Length.
  m_server->set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty()) {
      res.set_content("<html><body>" + std::to_string(res.status) + "</body></html>",
                      "text/html; charset=utf-8");
    }
  });
}

bool CLocalHttpServer::Start(int port, const std::string& rootFolder, std::string& error) {
  if (IsRunning()) {
    if (port == m_port) return true;
    error = "already serving on port " + std::to_string(m_port);
    return false;
  }
  if (port <= 0 || port > 65535) {
    error = "invalid port " + std::to_string(port);
    return false;
  }
  m_server = std::make_unique<CGuardedHttpServer>();
  AddRoutes();
  struct stat st {};
  if (!rootFolder.empty() && ::stat(rootFolder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    m_server->set_mount_point("/", rootFolder);
  }
  // The client chose the port a moment ago; another process may have taken
  // it since. Any free port will do: the client is told which one it is.
  if (!m_server->bind_to_port("127.0.0.1", port)) {
    const int other = m_server->bind_to_any_port("127.0.0.1");
    if (other <= 0) {
      error = "cannot listen on 127.0.0.1:" + std::to_string(port);
      m_server.reset();
      return false;
    }
    port = other;
  }
  m_port = port;
  m_thread = std::thread([server = m_server.get()] { server->listen_after_bind(); });
  return true;
}

bool CLocalHttpServer::Stop(std::chrono::milliseconds wait) {
  if (!m_thread.joinable()) return true;
  const bool finished = m_server->Shutdown(wait);
  m_thread.join();
  if (!finished) {
    // A handler still waits on something: the process is ending, leave it be.
    (void)m_server.release();
    m_port = 0;
    return false;
  }
  m_server.reset();
  m_port = 0;
  return true;
}
