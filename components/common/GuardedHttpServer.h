#pragma once
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "RequestFraming.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

struct SServerLimits {
  SRequestLimits request;
  // A whole request (or the wait for the next one on a kept connection) must
  // arrive within this time; a byte now and then does not extend it.
  std::chrono::milliseconds requestDeadline{5000};
  // Each write of an answer must make progress within this time.
  std::chrono::milliseconds writeTimeout{5000};
  size_t maxConnectionsPerClient = 64;
  size_t maxConnections = 512;
  size_t workers = 8;
  size_t maxRequestsPerConnection = 100;
};

// A cpp-httplib server whose connections wait in one poller until a whole
// request (head and body, within the limits) has arrived, so a slow or idle
// connection holds no worker. Workers only run handlers on complete requests.
// Connections are counted per client: the local account behind a loopback
// peer, otherwise the peer address.
class CGuardedHttpServer : public httplib::Server {
 public:
  static constexpr int kListenBacklog = 128;

  explicit CGuardedHttpServer(SServerLimits limits = SServerLimits());
  ~CGuardedHttpServer() override;
  CGuardedHttpServer(const CGuardedHttpServer&) = delete;
  CGuardedHttpServer& operator=(const CGuardedHttpServer&) = delete;

  // Ends listening and cuts every connection; waits at most `wait` for the
  // handlers under way. False when some were still running.
  bool Shutdown(std::chrono::milliseconds wait);

  // Who a connection belongs to for the per-client count.
  static std::string ClientOf(int fd);

  // Every connection from now on speaks TLS with this certificate (PEM, the
  // chain after it) and key; nothing is answered in the clear. Call before
  // listening. False with the reason when they cannot be used.
  bool EnableTls(const std::string& certFile, const std::string& keyFile, std::string& error);
  bool TlsEnabled() const { return m_tls != nullptr; }

 private:
  struct SConn {
    int fd = -1;
    std::string strClient;
    std::string strInput;
    std::chrono::steady_clock::time_point deadline;
    size_t nServed = 0;
    std::shared_ptr<SSL> ssl;  // with TLS: the connection's session
  };
  struct SJob {
    SConn conn;
    std::string strRequest;
  };

  bool process_and_close_socket(socket_t sock) override;
  void PollLoop();
  void WorkerLoop();
  void Serve(SJob& job);
  // Takes a connection (new or kept alive) into the poller.
  void Park(SConn conn);
  void Close(const SConn& conn, int status);
  void Wake();
  // recv() of the connection, through TLS when it has a session.
  static ssize_t ReadSome(const SConn& conn, char* data, size_t size);

  SServerLimits m_limits;
  std::shared_ptr<SSL_CTX> m_tls;
  std::mutex m_shutdownMutex;
  std::mutex m_mutex;
  std::condition_variable m_jobReady;
  std::condition_variable m_workersIdle;
  std::vector<SConn> m_parked;  // guarded by m_mutex until the poller takes them
  std::deque<SJob> m_jobs;
  std::map<std::string, size_t> m_perClient;
  std::set<int> m_serving;  // sockets inside a handler
  size_t m_nOpen = 0;
  size_t m_nBusy = 0;
  bool m_bStopping = false;
  int m_wakePipe[2] = {-1, -1};
  std::thread m_poller;
  std::vector<std::thread> m_workers;
};
