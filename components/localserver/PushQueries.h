#pragma once
#include <json/value.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "ComponentSession.h"

// The client's questions about a pushed movie, asked of the service on one
// worker of its own so that the bus never waits for the service: command 50
// says "不感兴趣" (POST /api/v1/pushes/dismiss), command 51 asks why the movie
// was pushed (GET /api/v1/pushes/reason). Each is answered with a command of
// the same number: {"INT_MOVIE_ID", "INT_RESULT": 1 done / 0 not, and
// "STR_ERROR" (50) or "STR_REASON" (51, the reason, or why it is not known)}.
// Reasons are kept in a small cache per user; the queue is bounded, and a
// question already waiting is not queued twice.
class CPushQueries final {
 public:
  using CommandSink = std::function<void(const Json::Value&)>;
  static constexpr int kDismiss = 50;
  static constexpr int kReason = 51;
  static constexpr size_t kMaxQueued = 32;
  static constexpr size_t kMaxCached = 256;

  CPushQueries(CComponentSession& session, CommandSink sink);
  ~CPushQueries();
  CPushQueries(const CPushQueries&) = delete;
  CPushQueries& operator=(const CPushQueries&) = delete;

  // Queues a question; a movie id out of range is answered at once as refused.
  void Ask(int command, int64_t movieId);
  // Ends the worker; nothing is sent after it returns.
  void Stop();

 private:
  struct SJob {
    int iCommand = 0;
    int64_t iMovie = 0;
    std::string strUser;
    bool operator==(const SJob& o) const {
      return iCommand == o.iCommand && iMovie == o.iMovie && strUser == o.strUser;
    }
  };
  void Run();
  Json::Value Execute(const SJob& job);
  bool Cached(const SJob& job, std::string& reason);
  void Cache(const SJob& job, const std::string& reason);
  void Send(const Json::Value& answer);

  CComponentSession& m_session;
  CommandSink m_sink;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<SJob> m_queue;
  // Most recent first: (user, movie) and the reason.
  std::list<std::pair<std::pair<std::string, int64_t>, std::string>> m_cache;
  bool m_bStopped = false;
  std::mutex m_sendMutex;
  std::thread m_worker;
};
