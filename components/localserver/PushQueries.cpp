#include "PushQueries.h"

#include "ApiRoutes.h"

namespace {
// The service's own ids stop well below this (the download machine's 0xFFFFFFFF is no movie).
constexpr int64_t kMaxMovieId = 0xFFFFFFFELL;

Json::Value Answer(int command, int64_t movieId, bool done, const char* key,
                   const std::string& text) {
  Json::Value answer(Json::objectValue);
  answer["INT_CMD_IDX"] = command;
  answer["INT_MOVIE_ID"] = static_cast<Json::UInt64>(movieId);
  answer["INT_RESULT"] = done ? 1 : 0;
  answer[key] = text;
  return answer;
}

const char* TextKey(int command) {
  return command == CPushQueries::kDismiss ? "STR_ERROR" : "STR_REASON";
}
}  // namespace

CPushQueries::CPushQueries(CComponentSession& session, CommandSink sink)
    : m_session(session), m_sink(std::move(sink)), m_worker([this] { Run(); }) {}

CPushQueries::~CPushQueries() { Stop(); }

void CPushQueries::Ask(int command, int64_t movieId) {
  if (command != kDismiss && command != kReason) return;
  if (movieId < 1 || movieId > kMaxMovieId) {
    Send(Answer(command, movieId < 0 ? 0 : movieId, false, TextKey(command), "没有这部电影"));
    return;
  }
  SJob job{command, movieId, m_session.UserName()};
  if (job.strUser.empty()) {
    Send(Answer(command, movieId, false, TextKey(command), "还没有用户登录"));
    return;
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bStopped) return;
    for (const SJob& waiting : m_queue)
      if (waiting == job) return;
    if (m_queue.size() < kMaxQueued) {
      m_queue.push_back(job);
      m_wake.notify_one();
      return;
    }
  }
  // Answered outside the lock: the sink may take its time.
  Send(Answer(command, movieId, false, TextKey(command), "请求太多，请稍后再试"));
}

void CPushQueries::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStopped = true;
    m_queue.clear();
  }
  m_wake.notify_all();
  {
    // Once this is held no send is under way, and none follows.
    std::lock_guard<std::mutex> lock(m_sendMutex);
  }
  if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id()) m_worker.join();
}

void CPushQueries::Run() {
  for (;;) {
    SJob job;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_wake.wait(lock, [this] { return m_bStopped || !m_queue.empty(); });
      if (m_bStopped) return;
      job = m_queue.front();
      m_queue.pop_front();
    }
    // The user changed meanwhile: the question belonged to the one before.
    if (job.strUser != m_session.UserName()) continue;
    Send(Execute(job));
  }
}

Json::Value CPushQueries::Execute(const SJob& job) {
  const std::string id = std::to_string(job.iMovie);
  const ServiceParams params = {{"username", job.strUser}, {"movie_id", id}};
  Json::Value out;
  SApiError error;
  if (job.iCommand == kDismiss) {
    if (!CApiRoutes::FromService(m_session.Service().Post("/api/v1/pushes/dismiss", params), out,
                                 error))
      return Answer(kDismiss, job.iMovie, false, "STR_ERROR",
                    error.iStatus == 404 ? "服务器没有向您推送过这部电影" : error.strMessage);
    return Answer(kDismiss, job.iMovie, true, "STR_ERROR", "");
  }
  std::string reason;
  if (Cached(job, reason)) return Answer(kReason, job.iMovie, true, "STR_REASON", reason);
  if (!CApiRoutes::FromService(m_session.Service().Get("/api/v1/pushes/reason", params), out,
                               error)) {
    // Never pushed to this user (a search result, an older push): no reason to tell.
    if (error.iStatus == 404) {
      Cache(job, "");
      return Answer(kReason, job.iMovie, true, "STR_REASON", "");
    }
    return Answer(kReason, job.iMovie, false, "STR_REASON", error.strMessage);
  }
  if (!out.isObject() || !out["reason"].isString())
    return Answer(kReason, job.iMovie, false, "STR_REASON", "服务器返回的数据无法识别");
  reason = out["reason"].asString();
  Cache(job, reason);
  return Answer(kReason, job.iMovie, true, "STR_REASON", reason);
}

bool CPushQueries::Cached(const SJob& job, std::string& reason) {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
    if (it->first.first == job.strUser && it->first.second == job.iMovie) {
      reason = it->second;
      m_cache.splice(m_cache.begin(), m_cache, it);
      return true;
    }
  }
  return false;
}

void CPushQueries::Cache(const SJob& job, const std::string& reason) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_cache.remove_if(
      [&](const auto& e) { return e.first.first == job.strUser && e.first.second == job.iMovie; });
  m_cache.emplace_front(std::make_pair(job.strUser, job.iMovie), reason);
  if (m_cache.size() > kMaxCached) m_cache.pop_back();
}

void CPushQueries::Send(const Json::Value& answer) {
  std::lock_guard<std::mutex> lock(m_sendMutex);
  {
    std::lock_guard<std::mutex> state(m_mutex);
    if (m_bStopped) return;
  }
  m_sink(answer);
}
