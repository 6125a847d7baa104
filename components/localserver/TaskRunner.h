#pragma once
#include <json/value.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "ComponentSession.h"

namespace httplib {
class Server;
}  // namespace httplib

// The client's "/ReqTask": acknowledged at once, then carried out against the
// remote service on one worker thread of its own, which drives the client with
// commands 32 (connecting), 34 (connected), 33 (unreachable, retry follows),
// 37 (new movies), 35 (calculation ended) and 36 (nothing left to push).
//
// One request at a time: a request arriving while another runs waits in a
// queue and runs after it, in arrival order; an identical request (same user
// and form) already waiting is not queued twice. A failed request is retried
// after RetryDelay() unless a newer request, another user or the stop comes
// first. Waiting work of a user who is no longer logged in is dropped.
class CTaskRunner final {
 public:
  // Receives each command document, on the worker thread.
  using CommandSink = std::function<void(const Json::Value&)>;

  CTaskRunner(CComponentSession& session, CommandSink sink);
  ~CTaskRunner();
  CTaskRunner(const CTaskRunner&) = delete;
  CTaskRunner& operator=(const CTaskRunner&) = delete;

  struct SAnswer {
    int iStatus = 200;
    std::string strBody;  // a JSON array: [1] accepted, [0, "reason"] refused
  };
  // The query of a "/ReqTask" request.
  SAnswer Request(const std::string& action, const std::string& type);
  void InstallRoute(httplib::Server& server);

  // Ends the worker (an in-flight service request is cut off); no command is
  // sent after it returns, and later requests are refused.
  void Stop();
  bool IsStopped() const;

  // The service's form for a request, or none when the request is not one of
  // the client's three forms.
  static std::optional<std::string> FormOf(const std::string& action, const std::string& type);
  // VADEKO_TASK_RETRY_MS when set to a positive number, else 2 minutes.
  static std::chrono::milliseconds RetryDelay();

 private:
  struct SJob {
    std::string strUser;
    std::string strForm;
    bool operator==(const SJob& other) const {
      return strUser == other.strUser && strForm == other.strForm;
    }
  };
  enum class EOutcome { Done, Retry };

  void Run();
  EOutcome Execute(const SJob& job);
  // Sends unless stopped; false when stopped.
  bool Send(int index, const char* key = nullptr, const std::string& text = std::string());
  bool Current(const SJob& job) const;

  CComponentSession& m_session;
  CommandSink m_sink;

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<SJob> m_queue;
  std::optional<SJob> m_retry;
  std::chrono::steady_clock::time_point m_retryAt;
  bool m_bStopped = false;

  std::mutex m_sendMutex;  // orders sends against Stop()
  std::thread m_worker;
};
