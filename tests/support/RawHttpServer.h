#pragma once
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A loopback server on raw sockets for the misbehaving peers: every connection's
// request head is recorded, then a scripted reply runs on its own thread.
class CRawHttpServer final {
 public:
  // fd: the connection; request: the head up to the blank line.
  using Reply = std::function<void(CRawHttpServer& server, int fd, const std::string& request)>;

  explicit CRawHttpServer(Reply reply);
  ~CRawHttpServer();
  CRawHttpServer(const CRawHttpServer&) = delete;
  CRawHttpServer& operator=(const CRawHttpServer&) = delete;

  int Port() const { return m_port; }
  std::string Url(const std::string& path) const;
  std::vector<std::string> Requests() const;
  // Closes the listener and every connection, and waits for the reply threads.
  void Stop();
  bool Stopping() const { return m_stopping; }
  // Sleeps up to ms, waking early when the server stops; false when stopping.
  bool Pause(int ms) const;

  static bool SendAll(int fd, const std::string& bytes);
  static std::string Head(long long contentLength);  // a 200 head with this length

 private:
  void AcceptLoop();

  Reply m_reply;
  int m_listener = -1;
  int m_port = 0;
  std::atomic<bool> m_stopping{false};
  mutable std::mutex m_mutex;
  std::vector<std::string> m_requests;
  std::vector<int> m_connections;
  std::vector<std::thread> m_workers;
  std::thread m_acceptor;
};
