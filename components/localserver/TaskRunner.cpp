#include "TaskRunner.h"

#include <httplib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "JsonText.h"

namespace {
constexpr const char* kJsonType = "application/json; charset=utf-8";
constexpr std::chrono::milliseconds kDefaultRetry{120000};

std::string Refusal(const std::string& reason) {
  Json::Value answer(Json::arrayValue);
  answer.append(0);
  answer.append(reason);
  return WriteCompactJson(answer);
}

void Log(const std::string& text) { std::fprintf(stderr, "zenu-localserver: %s\n", text.c_str()); }

// What came back from the task API.
struct STaskReply {
  enum EKind { Unreachable, Refused, Malformed, Movies, Nothing, Exhausted } eKind = Unreachable;
  std::string strMediaInfo;
  std::string strWhy;
};

STaskReply Classify(const SServiceReply& reply) {
  STaskReply out;
  if (!reply.bReached) {
    out.strWhy = reply.strError;
    return out;
  }
  const int status = reply.iStatus;
  if (status >= 500) {
    out.strWhy = "service status " + std::to_string(status);
    return out;  // the service's own trouble: worth another try later
  }
  Json::Value root;
  const bool parsed = ParseJson(reply.strBody, root);
  if (status != 200) {
    out.eKind = STaskReply::Refused;
    const bool hasText = parsed && root.isObject() && root["error"].isString();
    out.strWhy = "service status " + std::to_string(status) +
                 (hasText ? ": " + root["error"].asString() : std::string());
    return out;
  }
  out.eKind = STaskReply::Malformed;
  if (!parsed || !root.isObject() || !root["status"].isString()) {
    out.strWhy = "malformed task answer from the service";
    return out;
  }
  const std::string state = root["status"].asString();
  if (state == "exhausted") {
    out.eKind = STaskReply::Exhausted;
    return out;
  }
  // The service holds back while the user has enough unrated movies.
  if (state == "ok" && root["count"].isIntegral() && root["count"].asLargestInt() == 0) {
    out.eKind = STaskReply::Nothing;
    return out;
  }
  const Json::Value& info = root["media_info"];
  if (state != "ok" || !info.isString() || info.asString().find('<') == std::string::npos) {
    out.strWhy = "task answer without media info (status \"" + state + "\")";
    return out;
  }
  out.eKind = STaskReply::Movies;
  out.strMediaInfo = info.asString();
  return out;
}
}  // namespace

CTaskRunner::CTaskRunner(CComponentSession& session, CommandSink sink)
    : m_session(session), m_sink(std::move(sink)), m_worker([this] { Run(); }) {}

CTaskRunner::~CTaskRunner() { Stop(); }

std::optional<std::string> CTaskRunner::FormOf(const std::string& action, const std::string& type) {
  if (action == "StartReqTask" && (type == "normal" || type == "quick")) return type;
  if (action == "ReqNewMov" && (type == "NewUser" || type == "OldUser")) return type;
  return std::nullopt;
}

std::chrono::milliseconds CTaskRunner::RetryDelay() {
  const char* text = std::getenv("VADEKO_TASK_RETRY_MS");
  if (!text || !*text) return kDefaultRetry;
  char* end = nullptr;
  errno = 0;
  const long long ms = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || ms <= 0) return kDefaultRetry;
  return std::chrono::milliseconds(ms);
}

CTaskRunner::SAnswer CTaskRunner::Request(const std::string& action, const std::string& type) {
  const std::optional<std::string> form = FormOf(action, type);
  if (!form) return {400, Refusal("unknown task request")};
  const std::string user = m_session.UserName();
  if (user.empty()) return {200, Refusal("no user has logged in")};
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bStopped) return {503, Refusal("the local server is stopping")};
    const SJob job{user, *form};
    bool waiting = false;
    for (const SJob& queued : m_queue) waiting = waiting || queued == job;
    if (!waiting) m_queue.push_back(job);
    // A newer request replaces the pending retry: it asks the service anyway.
    m_retry.reset();
  }
  m_wake.notify_all();
  return {200, "[1]"};
}

void CTaskRunner::InstallRoute(httplib::Server& server) {
  server.Get("/ReqTask", [this](const httplib::Request& req, httplib::Response& res) {
    const SAnswer answer =
        Request(req.get_param_value("strAction"), req.get_param_value("strType"));
    res.status = answer.iStatus;
    res.set_content(answer.strBody, kJsonType);
  });
}

void CTaskRunner::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStopped = true;
    m_queue.clear();
    m_retry.reset();
  }
  m_wake.notify_all();
  { std::lock_guard<std::mutex> gate(m_sendMutex); }  // a send under way has finished
  if (!m_worker.joinable() || m_worker.get_id() == std::this_thread::get_id()) return;
  // A request under way ends at once; later ones are refused.
  m_session.Service().CutOff();
  m_worker.join();
}

bool CTaskRunner::IsStopped() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_bStopped;
}

bool CTaskRunner::Current(const SJob& job) const { return m_session.UserName() == job.strUser; }

bool CTaskRunner::Send(int index, const char* key, const std::string& text) {
  std::lock_guard<std::mutex> gate(m_sendMutex);
  if (IsStopped()) return false;
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = index;
  if (key) cmd[key] = text;
  m_sink(cmd);
  return true;
}

void CTaskRunner::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_bStopped) {
    if (m_queue.empty() && m_retry && std::chrono::steady_clock::now() >= m_retryAt) {
      m_queue.push_back(*m_retry);
      m_retry.reset();
    }
    if (m_queue.empty()) {
      if (m_retry) {
        m_wake.wait_until(lock, m_retryAt);
      } else {
        m_wake.wait(lock);
      }
      continue;
    }
    const SJob job = m_queue.front();
    m_queue.pop_front();
    lock.unlock();
    const EOutcome outcome = Current(job) ? Execute(job) : EOutcome::Done;
    lock.lock();
    // Work that arrived meanwhile asks the service itself; no retry needed then.
    if (outcome == EOutcome::Retry && !m_bStopped && m_queue.empty()) {
      m_retry = job;
      m_retryAt = std::chrono::steady_clock::now() + RetryDelay();
    }
  }
}

CTaskRunner::EOutcome CTaskRunner::Execute(const SJob& job) {
  if (!Send(32)) return EOutcome::Done;
  const STaskReply reply = Classify(
      m_session.Service().Get("/api/v1/task", {{"username", job.strUser}, {"form", job.strForm}}));
  switch (reply.eKind) {
    case STaskReply::Movies:
      // The movies belong to the user who asked; another user's client must not store them.
      if (!Current(job)) return EOutcome::Done;
      Send(34);
      Send(37, "STR_MEDIA_INFO", reply.strMediaInfo);
      Send(35);
      return EOutcome::Done;
    case STaskReply::Nothing:
      Send(34);
      Send(35);
      return EOutcome::Done;
    case STaskReply::Exhausted:
      Send(34);
      Send(36);
      return EOutcome::Done;
    case STaskReply::Unreachable:
      Log("task request (" + job.strForm + "): " + reply.strWhy);
      Send(33);
      return EOutcome::Retry;
    case STaskReply::Refused:
    case STaskReply::Malformed:
      // A retry is unlikely to help soon: end the client's calculating page now.
      Log("task request (" + job.strForm + "): " + reply.strWhy);
      Send(33);
      Send(35);
      return EOutcome::Retry;
  }
  return EOutcome::Done;
}
