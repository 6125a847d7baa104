#include "ApiRoutes.h"

#include <httplib.h>

#include <memory>

#include "BulletinHtml.h"
#include "ComponentSession.h"
#include "JsonText.h"
#include "OrvexClient.h"
#include "PushQueries.h"
#include "RequestGuard.h"
#include "UserList.h"

namespace {

// 0xFFFFFFFF is the client's "no record"; no movie has it.
constexpr long long kMaxMovieId = 0xFFFFFFFEll;
constexpr size_t kMaxCommentBytes = 2000;  // what the service stores at most
constexpr size_t kMaxQueryBytes = 100;
constexpr int kKindCount = 12;

SApiError BadParam(const std::string& message) { return SApiError{400, "bad_param", message}; }

bool IntParam(const Json::Value& in, const char* key, long long min, long long max, long long& out,
              SApiError& error) {
  const Json::Value& v = in[key];
  if (v.isNull()) {
    error = BadParam(std::string("缺少参数 ") + key);
    return false;
  }
  if (!v.isIntegral() || v.asLargestInt() < min || v.asLargestInt() > max) {
    error = BadParam(std::string("参数 ") + key + " 应为 " + std::to_string(min) + " 到 " +
                     std::to_string(max) + " 的整数");
    return false;
  }
  out = v.asLargestInt();
  return true;
}

bool TextParam(const Json::Value& in, const char* key, size_t maxBytes, bool required,
               std::string& out, SApiError& error) {
  const Json::Value& v = in[key];
  if (v.isNull() && !required) {
    out.clear();
    return true;
  }
  if (!v.isString()) {
    error = BadParam(std::string(v.isNull() ? "缺少参数 " : "参数应为文字：") + key);
    return false;
  }
  out = v.asString();
  const size_t first = out.find_first_not_of(" \t\r\n");
  out = first == std::string::npos ? std::string()
                                   : out.substr(first, out.find_last_not_of(" \t\r\n") - first + 1);
  if (required && out.empty()) {
    error = BadParam(std::string("参数不能为空：") + key);
    return false;
  }
  if (out.size() > maxBytes) {
    error = BadParam(std::string("参数过长：") + key);
    return false;
  }
  return true;
}

bool FlagParam(const Json::Value& in, const char* key, int& out, SApiError& error) {
  const Json::Value& v = in[key];
  if (v.isNull()) {
    out = 0;
  } else if (v.isBool()) {
    out = v.asBool() ? 1 : 0;
  } else if (v.isIntegral() && (v.asLargestInt() == 0 || v.asLargestInt() == 1)) {
    out = static_cast<int>(v.asLargestInt());
  } else {
    error = BadParam(std::string("参数 ") + key + " 应为 true 或 false");
    return false;
  }
  return true;
}

SApiError Malformed() {
  return SApiError{502, "bad_service_answer", "服务器返回的数据无法识别，请稍后再试"};
}

// A user summary of the service, checked and copied.
bool Summary(const Json::Value& in, Json::Value& out) {
  if (!in.isObject() || !in["username"].isString()) return false;
  out = Json::Value(Json::objectValue);
  out["username"] = in["username"];
  out["ratings"] = in["ratings"].isIntegral() ? in["ratings"].asLargestInt() : 0;
  out["followers"] = in["followers"].isIntegral() ? in["followers"].asLargestInt() : 0;
  return true;
}

bool Summaries(const Json::Value& in, Json::Value& out) {
  if (!in.isArray()) return false;
  out = Json::Value(Json::arrayValue);
  for (const Json::Value& item : in) {
    Json::Value one;
    if (!Summary(item, one)) return false;
    out.append(one);
  }
  return true;
}

bool KindList(const Json::Value& in, Json::Value& out) {
  if (!in.isArray()) return false;
  out = Json::Value(Json::arrayValue);
  for (const Json::Value& k : in) {
    if (!k.isObject() || !k["id"].isIntegral() || !k["name"].isString()) return false;
    Json::Value kind;
    kind["id"] = k["id"];
    kind["name"] = k["name"];
    out.append(kind);
  }
  return true;
}

// The push-now object the client stores (command 2): its id must be usable.
bool ValidPushObject(const Json::Value& movie) {
  return movie.isObject() && movie["INT_MOVIE_ID"].isIntegral() &&
         movie["INT_MOVIE_ID"].asLargestInt() > 0 &&
         movie["INT_MOVIE_ID"].asLargestInt() <= 0xFFFFFFFFll &&
         movie["UTF8_MOVIE_NAME"].isString() && movie["INT_FETCH_METHOD"].isIntegral();
}

}  // namespace

CApiRoutes::CApiRoutes(CComponentSession& session, COrvexClient& client, const std::string& secret)
    : m_session(session), m_client(client), m_secret(secret) {
  using namespace std::placeholders;
  m_handlers["search"] = std::bind(&CApiRoutes::Search, this, _1, _2, _3);
  m_handlers["kinds"] = std::bind(&CApiRoutes::Kinds, this, _1, _2, _3);
  m_handlers["kinds/save"] = std::bind(&CApiRoutes::SaveKinds, this, _1, _2, _3);
  m_handlers["push_now"] = std::bind(&CApiRoutes::PushNow, this, _1, _2, _3);
  m_handlers["rate"] = std::bind(&CApiRoutes::Rate, this, _1, _2, _3);
  m_handlers["movie"] = std::bind(&CApiRoutes::Movie, this, _1, _2, _3);
  m_handlers["download"] = std::bind(&CApiRoutes::Download, this, _1, _2, _3);
  m_handlers["movie_state"] = std::bind(&CApiRoutes::MovieState, this, _1, _2, _3);
  m_handlers["push_method"] = std::bind(&CApiRoutes::PushMethod, this, _1, _2, _3);
  m_handlers["users/find"] = std::bind(&CApiRoutes::FindUsers, this, _1, _2, _3);
  m_handlers["friends"] = std::bind(&CApiRoutes::Friends, this, _1, _2, _3);
  m_handlers["friends/follow"] = std::bind(&CApiRoutes::Follow, this, _1, _2, _3, true);
  m_handlers["friends/unfollow"] = std::bind(&CApiRoutes::Follow, this, _1, _2, _3, false);
  m_handlers["friends/recommendations"] = std::bind(&CApiRoutes::Recommendations, this, _1, _2, _3);
  m_handlers["dismiss"] = std::bind(&CApiRoutes::Dismiss, this, _1, _2, _3);
  m_handlers["stream"] = std::bind(&CApiRoutes::Stream, this, _1, _2, _3);
}

void CApiRoutes::Install(httplib::Server& server) {
  auto dispatch = [this](const httplib::Request& req, httplib::Response& res) {
    Dispatch(req, res, req.matches.size() > 1 ? req.matches[1].str() : std::string());
  };
  // GET is routed too, so that it gets a clear refusal rather than a bare 404.
  server.Post(R"(/api/(.*))", dispatch);
  server.Get(R"(/api/(.*))", dispatch);
}

void CApiRoutes::Dispatch(const httplib::Request& req, httplib::Response& res,
                          const std::string& name) {
  Json::Value out(Json::objectValue);
  SApiError error;
  bool ok = false;
  const SGuardVerdict verdict = CheckPageAction(req, m_secret);
  const auto handler = m_handlers.find(name);
  Json::Value in;
  if (!verdict.bAllowed) {
    error = SApiError{verdict.iStatus, verdict.strCode, verdict.strReason};
  } else if (handler == m_handlers.end()) {
    error = SApiError{404, "unknown_command", "未知的操作：" + name};
  } else if (!ParseJsonObject(req.body, in)) {
    error = SApiError{400, "bad_json", "请求内容不是 JSON 对象"};
  } else {
    try {
      ok = handler->second(in, out, error);
    } catch (const std::exception&) {
      ok = false;
      error = SApiError{500, "internal", "内部错误"};
    }
  }
  if (ok) {
    out["ok"] = true;
    res.status = 200;
  } else {
    out = Json::Value(Json::objectValue);
    out["ok"] = false;
    out["code"] = error.strCode;
    out["error"] = error.strMessage;
    res.status = error.iStatus;
  }
  res.set_header("Cache-Control", "no-store");
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_content(WriteCompactJson(out), "application/json; charset=utf-8");
}

bool CApiRoutes::FromService(const SServiceReply& reply, Json::Value& out, SApiError& error) {
  if (!reply.bReached) {
    error = SApiError{502, "service_down", "无法连接服务器，请检查网络后再试"};
    return false;
  }
  Json::Value root;
  const bool parsed = ParseJsonObject(reply.strBody, root);
  if (reply.iStatus != 200) {
    const bool refused = reply.iStatus >= 400 && reply.iStatus < 500;
    const std::string said = parsed && root["error"].isString() ? root["error"].asString() : "";
    error = SApiError{refused ? reply.iStatus : 502, "service_refused",
                      "服务器拒绝了请求" + (said.empty() ? std::string() : "：" + said)};
    return false;
  }
  if (!parsed) {
    error = Malformed();
    return false;
  }
  out = std::move(root);
  return true;
}

bool CApiRoutes::User(std::string& name, SApiError& error) const {
  name = m_session.UserName();
  if (name.empty()) {
    error = SApiError{409, "not_logged_in", "请先登录"};
    return false;
  }
  return true;
}

void CApiRoutes::MarkInList(Json::Value& items, const char* idKey) const {
  std::vector<uint32_t> ids;
  for (const Json::Value& item : items) ids.push_back(item[idKey].asUInt());
  const std::set<uint32_t> held = CUserList::Holding(m_session.UserDbFile(), ids);
  for (Json::Value& item : items) item["in_list"] = held.count(item[idKey].asUInt()) > 0;
}

bool CApiRoutes::Search(const Json::Value& in, Json::Value& out, SApiError& error) {
  std::string q;
  long long limit = 30;
  if (!TextParam(in, "q", kMaxQueryBytes, true, q, error)) return false;
  if (in.isMember("limit") && !IntParam(in, "limit", 1, 100, limit, error)) return false;
  Json::Value answer;
  if (!FromService(
          m_session.Service().Get("/api/v1/search", {{"q", q}, {"limit", std::to_string(limit)}}),
          answer, error)) {
    return false;
  }
  if (!answer["movies"].isArray()) {
    error = Malformed();
    return false;
  }
  Json::Value movies(Json::arrayValue);
  for (const Json::Value& m : answer["movies"]) {
    Json::Value kinds;
    if (!m.isObject() || !m["id"].isIntegral() || !m["title"].isString() ||
        !KindList(m["kinds"], kinds)) {
      error = Malformed();
      return false;
    }
    Json::Value item;
    item["id"] = m["id"];
    item["title"] = m["title"];
    item["year"] = m["year"].isIntegral() ? m["year"].asInt() : 0;
    item["kinds"] = kinds;
    movies.append(item);
  }
  MarkInList(movies, "id");
  out["count"] = movies.size();
  out["movies"] = movies;
  return true;
}

bool CApiRoutes::Kinds(const Json::Value&, Json::Value& out, SApiError& error) {
  Json::Value answer;
  Json::Value kinds;
  if (!FromService(m_session.Service().Get("/api/v1/kinds"), answer, error)) return false;
  if (!KindList(answer["kinds"], kinds)) {
    error = Malformed();
    return false;
  }
  out["kinds"] = kinds;
  out["chosen"] = Json::Value(Json::arrayValue);
  out["push_method"] = 0;
  const std::string user = m_session.UserName();
  if (user.empty()) return true;
  Json::Value settings;
  Json::Value chosen;
  if (!FromService(m_session.Service().Get("/api/v1/users/settings", {{"username", user}}),
                   settings, error)) {
    return false;
  }
  if (!KindList(settings["kinds"], chosen) || !settings["push_method"].isIntegral()) {
    error = Malformed();
    return false;
  }
  for (const Json::Value& k : chosen) out["chosen"].append(k["id"]);
  out["push_method"] = settings["push_method"];
  return true;
}

bool CApiRoutes::SaveKinds(const Json::Value& in, Json::Value& out, SApiError& error) {
  const Json::Value& list = in["kinds"];
  if (!list.isArray() || list.empty()) {
    error = BadParam("请至少选择一种电影类型");
    return false;
  }
  if (list.size() > static_cast<Json::ArrayIndex>(kKindCount)) {
    error = BadParam("电影类型过多");
    return false;
  }
  std::string text;
  for (const Json::Value& k : list) {
    if (!k.isIntegral() || k.asLargestInt() < 1 || k.asLargestInt() > kKindCount) {
      error = BadParam("未知的电影类型");
      return false;
    }
    text += (text.empty() ? "" : ",") + std::to_string(k.asLargestInt());
  }
  std::string user;
  if (!User(user, error)) return false;
  Json::Value settings;
  if (!FromService(
          m_session.Service().Post("/api/v1/users/kinds", {{"username", user}, {"kinds", text}}),
          settings, error)) {
    return false;
  }
  Json::Value kinds;
  if (!KindList(settings["kinds"], kinds)) {
    error = Malformed();
    return false;
  }
  out["kinds"] = kinds;
  out["push_method"] = settings["push_method"].isIntegral() ? settings["push_method"].asInt() : 0;
  return true;
}

bool CApiRoutes::PushNow(const Json::Value& in, Json::Value& out, SApiError& error) {
  long long id = 0;
  if (!IntParam(in, "movie_id", 1, kMaxMovieId, id, error)) return false;
  std::string user;
  if (!User(user, error)) return false;
  // Already in the user's list: nothing to push, and the page must not say it was.
  if (!CUserList::Holding(m_session.UserDbFile(), {static_cast<uint32_t>(id)}).empty()) {
    out["status"] = "in_list";
    return true;
  }
  Json::Value answer;
  if (!FromService(m_session.Service().Post("/api/v1/push_now",
                                            {{"username", user}, {"movie_id", std::to_string(id)}}),
                   answer, error)) {
    return false;
  }
  const Json::Value& movie = answer["movie"];
  if (!ValidPushObject(movie) || movie["INT_MOVIE_ID"].asLargestInt() != id) {
    error = Malformed();
    return false;
  }
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 2;
  cmd["DICT_MOVIE"] = movie;
  m_client.SendCommand(cmd);
  out["status"] = answer["status"].isString() ? answer["status"].asString() : "pushed";
  out["title"] = movie["UTF8_MOVIE_NAME"];
  return true;
}

bool CApiRoutes::Dismiss(const Json::Value& in, Json::Value& out, SApiError& error) {
  long long id = 0;
  if (!IntParam(in, "movie_id", 1, kMaxMovieId, id, error)) return false;
  std::string user;
  if (!User(user, error)) return false;
  Json::Value answer;
  if (!FromService(m_session.Service().Post("/api/v1/pushes/dismiss",
                                            {{"username", user}, {"movie_id", std::to_string(id)}}),
                   answer, error)) {
    return false;
  }
  // The client moves the record as it does for its own "不感兴趣".
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = CPushQueries::kDismiss;
  cmd["INT_MOVIE_ID"] = static_cast<Json::UInt64>(id);
  cmd["INT_RESULT"] = 1;
  cmd["STR_ERROR"] = "";
  m_client.SendCommand(cmd);
  out["status"] = "dismissed";
  return true;
}

bool CApiRoutes::Rate(const Json::Value& in, Json::Value& out, SApiError& error) {
  long long id = 0;
  long long score = 0;
  int recommendAll = 0;
  std::string comment;
  if (!IntParam(in, "movie_id", 1, kMaxMovieId, id, error) ||
      !IntParam(in, "score", 1, 5, score, error) ||
      !FlagParam(in, "recommend_all", recommendAll, error) ||
      !TextParam(in, "comment", kMaxCommentBytes, false, comment, error)) {
    return false;
  }
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 10;
  cmd["INT_MOVIE_ID"] = static_cast<Json::Int64>(id);
  cmd["INT_EVAL"] = static_cast<int>(score);
  cmd["INT_IS_RMD_ALL"] = recommendAll;
  cmd["UTF8_COMMENT"] = comment;
  m_client.SendCommand(cmd);
  out["score"] = static_cast<int>(score);
  return true;
}

bool CApiRoutes::Movie(const Json::Value& in, Json::Value& out, SApiError& error) {
  long long id = 0;
  if (!IntParam(in, "movie_id", 1, kMaxMovieId, id, error)) return false;
  std::string user;
  if (!User(user, error)) return false;
  Json::Value movie;
  if (!FromService(
          m_session.Service().Get("/api/v1/movies/" + std::to_string(id), {{"username", user}}),
          movie, error)) {
    return false;
  }
  if (!movie["rating_count"].isIntegral() || !movie["average_score"].isNumeric()) {
    error = Malformed();
    return false;
  }
  out["rating_count"] = movie["rating_count"].asLargestInt();
  out["average_score"] = movie["average_score"].asDouble();
  out["my_score"] = movie["my_score"].isIntegral() ? movie["my_score"].asInt() : 0;
  out["my_comment"] = movie["my_comment"].isString() ? movie["my_comment"].asString() : "";
  return true;
}

bool CApiRoutes::Download(const Json::Value& in, Json::Value& out, SApiError& error) {
  long long id = 0;
  long long fetchMethod = 0;
  std::string client;
  if (!IntParam(in, "movie_id", 1, kMaxMovieId, id, error) ||
      !TextParam(in, "client", 16, true, client, error) ||
      !IntParam(in, "fetch_method", 1, 5, fetchMethod, error)) {
    return false;
  }
  if (client != "vadeko" && client != "thunder") {
    error = BadParam("参数 client 应为 vadeko 或 thunder");
    return false;
  }
  if (fetchMethod != 1 && fetchMethod != 5) {
    error = BadParam("参数 fetch_method 应为 1 或 5");
    return false;
  }
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 20;
  cmd["INT_CLIENT_ID"] = client == "vadeko" ? 1 : 0;
  cmd["INT_FETCH_METHOD"] = static_cast<int>(fetchMethod);
  cmd["INT_MOVIE_ID"] = static_cast<Json::Int64>(id);
  m_client.SendCommand(cmd);
  out["client"] = client;
  return true;
}

bool CApiRoutes::MovieState(const Json::Value& in, Json::Value& out, SApiError& error) {
  long long id = 0;
  if (!IntParam(in, "movie_id", 1, kMaxMovieId, id, error)) return false;
  std::string user;
  if (!User(user, error)) return false;
  const int status = CUserList::Status(m_session.UserDbFile(), static_cast<uint32_t>(id));
  out["status"] = status;
  out["text"] = ListStatusText(status);
  return true;
}

bool CApiRoutes::Stream(const Json::Value& in, Json::Value& out, SApiError& error) {
  long long id = 0;
  if (!IntParam(in, "movie_id", 1, kMaxMovieId, id, error)) return false;
  std::string user;
  if (!User(user, error)) return false;
  const int status = CUserList::Status(m_session.UserDbFile(), static_cast<uint32_t>(id));
  if (status != 4) {
    error = SApiError{409, "not_downloading", "这部电影不在下载中，不能边下边播"};
    return false;
  }
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 21;
  cmd["INT_MOVIE_ID"] = static_cast<Json::Int64>(id);
  m_client.SendCommand(cmd);
  out["status"] = status;
  return true;
}

bool CApiRoutes::PushMethod(const Json::Value& in, Json::Value& out, SApiError& error) {
  long long method = 0;
  if (!IntParam(in, "method", 1, 2, method, error)) return false;
  std::string user;
  if (!User(user, error)) return false;
  // The choice belongs to the client first; the service only learns it. A
  // service that cannot be reached must not keep the user in this dialog, so
  // the command goes out anyway and the page says what was not saved.
  Json::Value settings;
  SApiError saveError;
  const bool saved = FromService(
      m_session.Service().Post("/api/v1/users/push_method",
                               {{"username", user}, {"method", std::to_string(method)}}),
      settings, saveError);
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = method == 1 ? 111 : 112;
  m_client.SendCommand(cmd);
  out["method"] = static_cast<int>(method);
  out["saved"] = saved;
  if (!saved) out["warning"] = saveError.strMessage;
  return true;
}

bool CApiRoutes::FindUsers(const Json::Value& in, Json::Value& out, SApiError& error) {
  std::string q;
  if (!TextParam(in, "q", kMaxQueryBytes, true, q, error)) return false;
  Json::Value answer;
  Json::Value users;
  if (!FromService(m_session.Service().Get("/api/v1/users/find", {{"q", q}, {"limit", "50"}}),
                   answer, error)) {
    return false;
  }
  if (!Summaries(answer["users"], users)) {
    error = Malformed();
    return false;
  }
  // Mark whom the user already follows, so the page shows the right button.
  const std::string me = m_session.UserName();
  Json::Value following(Json::arrayValue);
  if (!me.empty()) {
    Json::Value friends;
    if (FromService(m_session.Service().Get("/api/v1/friends", {{"username", me}}), friends,
                    error) &&
        !Summaries(friends["following"], following)) {
      error = Malformed();
      return false;
    }
  }
  for (Json::Value& u : users) {
    bool isFollowing = false;
    for (const Json::Value& f : following) isFollowing |= f["username"] == u["username"];
    u["following"] = isFollowing;
    u["self"] = u["username"].asString() == me;
  }
  out["users"] = users;
  return true;
}

bool CApiRoutes::Friends(const Json::Value&, Json::Value& out, SApiError& error) {
  std::string user;
  if (!User(user, error)) return false;
  Json::Value answer;
  Json::Value following;
  Json::Value followers;
  if (!FromService(m_session.Service().Get("/api/v1/friends", {{"username", user}}), answer,
                   error)) {
    return false;
  }
  if (!Summaries(answer["following"], following) || !Summaries(answer["followers"], followers)) {
    error = Malformed();
    return false;
  }
  out["username"] = user;
  out["following"] = following;
  out["followers"] = followers;
  return true;
}

bool CApiRoutes::Follow(const Json::Value& in, Json::Value& out, SApiError& error, bool follow) {
  std::string friendName;
  if (!TextParam(in, "friend", 64, true, friendName, error)) return false;
  std::string user;
  if (!User(user, error)) return false;
  if (friendName == user) {
    error = BadParam("不能关注自己");
    return false;
  }
  Json::Value answer;
  Json::Value following;
  Json::Value followers;
  if (!FromService(
          m_session.Service().Post(follow ? "/api/v1/friends/follow" : "/api/v1/friends/unfollow",
                                   {{"username", user}, {"friend", friendName}}),
          answer, error)) {
    return false;
  }
  if (!Summaries(answer["following"], following) || !Summaries(answer["followers"], followers)) {
    error = Malformed();
    return false;
  }
  out["following"] = following;
  out["followers"] = followers;
  return true;
}

bool CApiRoutes::Recommendations(const Json::Value& in, Json::Value& out, SApiError& error) {
  long long limit = 30;
  if (in.isMember("limit") && !IntParam(in, "limit", 1, 100, limit, error)) return false;
  std::string user;
  if (!User(user, error)) return false;
  Json::Value answer;
  if (!FromService(m_session.Service().Get("/api/v1/friends/recommendations",
                                           {{"username", user}, {"limit", std::to_string(limit)}}),
                   answer, error)) {
    return false;
  }
  if (!answer["recommendations"].isArray()) {
    error = Malformed();
    return false;
  }
  Json::Value list(Json::arrayValue);
  for (const Json::Value& r : answer["recommendations"]) {
    if (!r.isObject() || !r["friend"].isString() || !r["movie_id"].isIntegral() ||
        !r["title"].isString() || !r["score"].isIntegral()) {
      error = Malformed();
      return false;
    }
    Json::Value item;
    item["friend"] = r["friend"];
    item["movie_id"] = r["movie_id"];
    item["title"] = r["title"];
    item["score"] = r["score"];
    item["comment"] = r["comment"].isString() ? r["comment"].asString() : "";
    item["rated_at"] = r["rated_at"].isIntegral() ? r["rated_at"].asLargestInt() : 0;
    list.append(item);
  }
  MarkInList(list, "movie_id");
  out["recommendations"] = list;
  return true;
}
