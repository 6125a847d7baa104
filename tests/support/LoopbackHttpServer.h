#pragma once
#include <httplib.h>

#include <string>
#include <thread>

// A well-behaved HTTP server on 127.0.0.1 for tests (cpp-httplib). Routes are set
// on Server() before Start().
class CLoopbackHttpServer final {
 public:
  CLoopbackHttpServer() = default;
  ~CLoopbackHttpServer();
  CLoopbackHttpServer(const CLoopbackHttpServer&) = delete;
  CLoopbackHttpServer& operator=(const CLoopbackHttpServer&) = delete;

  httplib::Server& Server() { return m_server; }
  // port 0: any free port. Returns false when the port cannot be bound.
  bool Start(int port = 0);
  void Stop();
  int Port() const { return m_port; }
  std::string Url(const std::string& path) const;

  // A loopback port that nothing listens on right now.
  static int UnusedPort();

 private:
  httplib::Server m_server;
  std::thread m_thread;
  int m_port = 0;
};
