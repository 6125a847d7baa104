#include "PageRoutes.h"

#include <httplib.h>

#include <cstdlib>

#include "ApiRoutes.h"
#include "BulletinHtml.h"
#include "ComponentSession.h"
#include "RequestGuard.h"
#include "UserList.h"

namespace {
// Pages load only what this server serves, and no other site may frame them.
constexpr const char* kPagePolicy =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; object-src 'none'; base-uri 'none'; form-action 'self'; "
    "frame-ancestors 'none'";

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void PageHeaders(httplib::Response& res) {
  res.set_header("Content-Security-Policy", kPagePolicy);
  res.set_header("X-Frame-Options", "DENY");
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_header("Referrer-Policy", "same-origin");
  // The token changes with every run: a cached page would carry a stale one.
  res.set_header("Cache-Control", "no-store");
}

void Refuse(httplib::Response& res, const SGuardVerdict& verdict) {
  res.status = verdict.iStatus;
  res.set_header("Cache-Control", "no-store");
  res.set_content(std::string("{\"ok\":false,\"code\":\"") + verdict.strCode + "\",\"error\":\"" +
                      verdict.strReason + "\"}",
                  "application/json; charset=utf-8");
}

void MessagePage(httplib::Response& res, int status, const std::string& heading,
                 const std::string& text) {
  res.status = status;
  PageHeaders(res);
  res.set_content(RenderMessagePage(heading, text), "text/html; charset=utf-8");
}

const char* TypeOf(const std::string& path) {
  if (EndsWith(path, ".html") || EndsWith(path, ".htm")) return "text/html; charset=utf-8";
  if (EndsWith(path, ".css")) return "text/css; charset=utf-8";
  if (EndsWith(path, ".js")) return "text/javascript; charset=utf-8";
  if (EndsWith(path, ".svg")) return "image/svg+xml";
  return nullptr;
}

bool IsDigits(const std::string& text) {
  return !text.empty() && text.size() <= 10 &&
         text.find_first_not_of("0123456789") == std::string::npos;
}
}  // namespace

CPageRoutes::CPageRoutes(CComponentSession& session, COrvexClient& client)
    : m_session(session),
      m_secret(MakeRunSecret()),
      m_api(std::make_unique<CApiRoutes>(session, client, m_secret)) {}

CPageRoutes::~CPageRoutes() = default;

void CPageRoutes::Install(httplib::Server& server) {
  // Before any route or file: another host name or a foreign site gets nothing.
  server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
    const SGuardVerdict verdict = CheckHostAndOrigin(req);
    if (verdict.bAllowed) return httplib::Server::HandlerResponse::Unhandled;
    Refuse(res, verdict);
    return httplib::Server::HandlerResponse::Handled;
  });
  server.set_file_request_handler([this](const httplib::Request& req, httplib::Response& res) {
    const SGuardVerdict verdict = CheckHostAndOrigin(req);
    if (!verdict.bAllowed) {
      res.body.clear();
      Refuse(res, verdict);
      return;
    }
    const char* type = TypeOf(req.path);
    if (type) {
      res.headers.erase("Content-Type");
      res.set_header("Content-Type", type);
    }
    if (type && std::string(type).rfind("text/html", 0) == 0) {
      PageHeaders(res);
      const std::string placeholder = kTokenPlaceholder;
      for (size_t at = res.body.find(placeholder); at != std::string::npos;
           at = res.body.find(placeholder, at + m_secret.size())) {
        res.body.replace(at, placeholder.size(), m_secret);
      }
    }
  });
  server.Get("/Bulletin",
             [this](const httplib::Request& req, httplib::Response& res) { Bulletin(req, res); });
  m_api->Install(server);
}

void CPageRoutes::Bulletin(const httplib::Request& req, httplib::Response& res) {
  const SGuardVerdict verdict = CheckHostAndOrigin(req);
  if (!verdict.bAllowed) {
    Refuse(res, verdict);
    return;
  }
  const std::string id = req.get_param_value("iMovieID");
  if (req.get_param_value("strAction") != "View" || !IsDigits(id) ||
      std::strtoull(id.c_str(), nullptr, 10) == 0 ||
      std::strtoull(id.c_str(), nullptr, 10) > 0xFFFFFFFFull) {
    MessagePage(res, 400, "地址有误", "请从电影列表中选择一部电影查看介绍。");
    return;
  }
  Json::Value movie;
  SApiError error;
  const std::string path =
      "/api/v1/movies/" + std::to_string(std::strtoull(id.c_str(), nullptr, 10));
  // With the user, the service adds the user's own rating.
  ServiceParams params;
  if (!m_session.UserName().empty()) params.emplace_back("username", m_session.UserName());
  if (!CApiRoutes::FromService(m_session.Service().Get(path, params), movie, error)) {
    if (error.iStatus == 404) {
      MessagePage(res, 404, "没有这部电影", "服务器上找不到这部电影的介绍。");
    } else {
      MessagePage(res, 502, "暂时无法显示介绍", error.strMessage);
    }
    return;
  }
  if (!movie.isObject() || !movie["id"].isIntegral() || !movie["title"].isString() ||
      !movie["fetch_method"].isIntegral()) {
    MessagePage(res, 502, "暂时无法显示介绍", "服务器返回的数据无法识别，请稍后再试");
    return;
  }
  // Why the movie was pushed: the page still shows without it.
  if (!m_session.UserName().empty()) {
    Json::Value why;
    SApiError ignored;
    if (CApiRoutes::FromService(
            m_session.Service().Get("/api/v1/pushes/reason",
                                    {{"username", m_session.UserName()},
                                     {"movie_id", std::to_string(movie["id"].asLargestInt())}}),
            why, ignored) &&
        why.isObject() && why["reason"].isString()) {
      movie["why_pushed"] = why["reason"];
      movie["dismissed"] = why["dismissed"].isBool() && why["dismissed"].asBool();
    }
  }
  res.status = 200;
  PageHeaders(res);
  const int status =
      CUserList::Status(m_session.UserDbFile(), static_cast<uint32_t>(movie["id"].asLargestInt()));
  res.set_content(RenderBulletin(movie, m_secret, status), "text/html; charset=utf-8");
}
