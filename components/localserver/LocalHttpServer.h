#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}
class CGuardedHttpServer;

// The HTTP side: the pages below the root folder and the task request, on the
// loopback interface only. Requests are served on the server's worker threads
// once they have arrived whole.
class CLocalHttpServer final {
 public:
  CLocalHttpServer();
  ~CLocalHttpServer();
  CLocalHttpServer(const CLocalHttpServer&) = delete;
  CLocalHttpServer& operator=(const CLocalHttpServer&) = delete;

  // Adds handlers each time the server starts; call before Start().
  using RouteInstaller = std::function<void(httplib::Server&)>;
  void AddRoutes(RouteInstaller installer) { m_installers.push_back(std::move(installer)); }

  // Binds 127.0.0.1:port and starts serving; false with a reason when it cannot.
  bool Start(int port, const std::string& rootFolder, std::string& error);
  // Cuts every connection; waits at most `wait` for handlers under way and
  // false when some were still running (they are left to the process's end).
  bool Stop(std::chrono::milliseconds wait);
  bool IsRunning() const { return m_thread.joinable(); }
  int Port() const { return m_port; }

 private:
  void AddRoutes();

  std::vector<RouteInstaller> m_installers;
  std::unique_ptr<CGuardedHttpServer> m_server;
  std::thread m_thread;
  int m_port = 0;
};
