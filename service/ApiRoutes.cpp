#include "ApiRoutes.h"

#include <optional>

#include "GbkText.h"
#include "MovieKinds.h"
#include "RequestParams.h"

namespace zenu {
namespace {

std::string GbkName(const std::string& utf8) {
  auto gbk = GbkText::FromUtf8(utf8);
  if (!gbk) throw HttpError(400, "user name is not UTF-8 text that GBK can hold");
  return *gbk;
}

Json::Value KindList(const std::vector<int>& kinds) {
  Json::Value list(Json::arrayValue);
  for (int k : kinds) {
    Json::Value kind;
    kind["id"] = k;
    kind["name"] = MovieKinds::Name(k).value_or("");
    list.append(kind);
  }
  return list;
}

}  // namespace

void ApiRoutes::Register(httplib::Server& server) {
  using Req = const httplib::Request&;
  using Res = httplib::Response&;
  server.Get("/api/v1/status", [this](Req q, Res s) { Status(q, s); });
  server.Get("/api/v1/task", [this](Req q, Res s) { Task(q, s); });
  server.Get(R"(/api/v1/movies/(\d+))", [this](Req q, Res s) { MovieDetails(q, s); });
  server.Get("/api/v1/kinds", [this](Req q, Res s) { Kinds(q, s); });
  server.Get("/api/v1/search", [this](Req q, Res s) { Search(q, s); });
  server.Post("/api/v1/push_now", [this](Req q, Res s) { PushNow(q, s); });
  server.Get("/api/v1/users/settings", [this](Req q, Res s) { GetSettings(q, s); });
  server.Post("/api/v1/users/kinds", [this](Req q, Res s) { SetKinds(q, s); });
  server.Post("/api/v1/users/push_method", [this](Req q, Res s) { SetPushMethod(q, s); });
  server.Get("/api/v1/users/find", [this](Req q, Res s) { FindUsers(q, s); });
  server.Post("/api/v1/friends/follow", [this](Req q, Res s) { Follow(q, s, true); });
  server.Post("/api/v1/friends/unfollow", [this](Req q, Res s) { Follow(q, s, false); });
  server.Get("/api/v1/friends", [this](Req q, Res s) { Friends(q, s); });
  server.Get("/api/v1/friends/recommendations", [this](Req q, Res s) { Recommendations(q, s); });
  server.Get("/api/v1/pushes/reason", [this](Req q, Res s) { PushReason(q, s); });
  server.Post("/api/v1/pushes/dismiss", [this](Req q, Res s) { Dismiss(q, s); });
}

void ApiRoutes::PushReason(const httplib::Request& req, httplib::Response& res) {
  UserRecord user = UserParam(req, "username");
  auto id = static_cast<uint32_t>(RequestParams(req).Int("movie_id", 1, 0xFFFFFFFFll));
  for (const PushRecord& p : ctx_.store->Pushes(user.id)) {
    if (p.movieId != id) continue;
    Json::Value v;
    v["movie_id"] = id;
    v["reason"] = p.reason;
    v["dismissed"] = p.dismissed;
    JsonReply::Send(res, v);
    return;
  }
  throw HttpError(404, "this movie was not pushed to the user");
}

void ApiRoutes::Dismiss(const httplib::Request& req, httplib::Response& res) {
  UserRecord user = UserParam(req, "username");
  auto id = static_cast<uint32_t>(RequestParams(req).Int("movie_id", 1, 0xFFFFFFFFll));
  if (!ctx_.planner->Dismiss(user.id, id)) {
    throw HttpError(404, "this movie was not pushed to the user");
  }
  Json::Value v;
  v["status"] = "dismissed";
  v["movie_id"] = id;
  JsonReply::Send(res, v);
}

UserRecord ApiRoutes::UserParam(const httplib::Request& req, const char* name) const {
  std::string utf8 = RequestParams(req).Required(name);
  if (utf8.empty()) throw HttpError(400, std::string(name) + " is empty");
  auto user = ctx_.store->FindUser(GbkName(utf8));
  if (!user) throw HttpError(404, "unknown user " + utf8);
  return *user;
}

Json::Value ApiRoutes::Settings(const UserRecord& user) const {
  Json::Value v;
  v["username"] = GbkText::ToUtf8Lossy(user.name);
  v["push_method"] = user.pushMethod;
  v["kinds"] = KindList(ctx_.store->Kinds(user.id));
  return v;
}

Json::Value ApiRoutes::UserSummary(const UserRecord& user) const {
  Json::Value v;
  v["username"] = GbkText::ToUtf8Lossy(user.name);
  v["ratings"] = static_cast<Json::UInt64>(ctx_.store->RatingsOfUser(user.id).size());
  v["followers"] = static_cast<Json::UInt64>(ctx_.store->Followers(user.id).size());
  return v;
}

void ApiRoutes::Status(const httplib::Request&, httplib::Response& res) {
  Json::Value v;
  v["service"] = "zenu-service";
  v["movies"] = static_cast<Json::UInt64>(ctx_.catalogue.Get()->AvailableCount());
  v["ratings"] = static_cast<Json::UInt64>(ctx_.recommender->RatingCount());
  v["content_bytes_sent"] = static_cast<Json::UInt64>(ctx_.contentBytesSent.load());
  if (!ctx_.libraryRoots.empty() && ctx_.scanState) {
    const ScanState scans = ctx_.scanState();
    Json::Value library;
    library["folders"] = static_cast<Json::UInt64>(ctx_.libraryRoots.size());
    library["scans"] = scans.completed;
    library["scanning"] = scans.running;
    library["movies"] = static_cast<Json::UInt64>(scans.last.movies);
    library["added"] = static_cast<Json::UInt64>(scans.last.added);
    library["changed"] = static_cast<Json::UInt64>(scans.last.changed);
    library["moved"] = static_cast<Json::UInt64>(scans.last.moved);
    library["withdrawn"] = static_cast<Json::UInt64>(scans.last.withdrawn);
    library["duplicates"] = static_cast<Json::UInt64>(scans.last.duplicates);
    Json::Value skipped(Json::arrayValue);
    for (const std::string& s : scans.last.skipped) skipped.append(s);
    library["skipped"] = skipped;
    v["library"] = library;
  }
  JsonReply::Send(res, v);
}

void ApiRoutes::Task(const httplib::Request& req, httplib::Response& res) {
  UserRecord user = UserParam(req, "username");
  std::string formText = RequestParams(req).Optional("form").value_or("normal");
  TaskForm form;
  if (formText == "normal") {
    form = TaskForm::kNormal;
  } else if (formText == "quick") {
    form = TaskForm::kQuick;
  } else if (formText == "NewUser") {
    form = TaskForm::kNewUser;
  } else if (formText == "OldUser") {
    form = TaskForm::kOldUser;
  } else {
    throw HttpError(400, "form must be normal, quick, NewUser or OldUser");
  }
  ctx_.store->NoteRequest(user.id);
  TaskResult result = ctx_.planner->RequestTask(user, form);
  Json::Value v;
  v["status"] = result.exhausted ? "exhausted" : "ok";
  v["count"] = static_cast<Json::UInt64>(result.movies.size());
  Json::Value movies(Json::arrayValue);
  for (const PushedMovie& p : result.movies) {
    Json::Value m;
    m["id"] = p.movie->id;
    m["expect_eval"] = p.expectEval;
    movies.append(m);
  }
  v["movies"] = movies;
  if (!result.exhausted) v["media_info"] = ctx_.writer->MediaInfo(result.movies);
  JsonReply::Send(res, v);
}

void ApiRoutes::MovieDetails(const httplib::Request& req, httplib::Response& res) {
  auto catalogue = ctx_.catalogue.Get();
  const Movie* m = catalogue->Find(RequestParams::MovieId(req, 1));
  if (!m) throw HttpError(404, "unknown movie");
  auto ratings = ctx_.store->RatingsOfMovie(m->id, 1000);
  Json::Value v;
  v["id"] = m->id;
  v["title"] = m->title;
  v["year"] = m->year;
  v["kinds"] = KindList(m->kinds);
  v["size"] = MediaInfoWriter::SizeText(m->sizeBytes);
  v["size_bytes"] = static_cast<Json::UInt64>(m->sizeBytes);
  v["description"] = m->description;
  v["withdrawn"] = !m->Available();
  if (m->durationSeconds > 0) v["duration_seconds"] = m->durationSeconds;
  if (!m->posterPath.empty()) v["poster_url"] = ctx_.urls->Poster(m->id);
  v["fetch_method"] = static_cast<int>(m->fetchMethod);
  v["fetch_url"] = ctx_.urls->Fetch(*m);
  v["bulletin_url"] = ctx_.urls->Bulletin(m->id);
  if (m->fetchMethod == FetchMethod::kBitTorrent) {
    v["bt_seed_url"] = ctx_.urls->Torrent(m->id);
    v["info_hash"] = m->infoHash;
  }
  double sum = 0;
  Json::Value comments(Json::arrayValue);
  for (const auto& r : ratings) {
    sum += r.score;
    if (r.comment.empty() || comments.size() >= 20) continue;
    Json::Value c;
    auto user = ctx_.store->FindUserById(r.userId);
    c["username"] = user ? GbkText::ToUtf8Lossy(user->name) : "";
    c["score"] = r.score;
    c["comment"] = r.comment;
    c["rated_at"] = static_cast<Json::Int64>(r.ratedAt);
    comments.append(c);
  }
  v["rating_count"] = static_cast<Json::UInt64>(ratings.size());
  v["average_score"] = ratings.empty() ? 0.0 : sum / ratings.size();
  v["comments"] = comments;
  v["push"] = ctx_.writer->PushNowObject(*m);
  // The asking user's own rating, for the bulletin page to show it again.
  if (std::optional<std::string> name = RequestParams(req).Optional("username")) {
    if (auto user = ctx_.store->FindUser(GbkName(*name))) {
      for (const RatingRecord& r : ctx_.store->RatingsOfUser(user->id)) {
        if (r.movieId != m->id) continue;
        v["my_score"] = r.score;
        v["my_comment"] = r.comment;
      }
    }
  }
  JsonReply::Send(res, v);
}

void ApiRoutes::Kinds(const httplib::Request&, httplib::Response& res) {
  std::vector<int> ids;
  for (const auto& k : MovieKinds::All()) ids.push_back(k.id);
  Json::Value v;
  v["kinds"] = KindList(ids);
  JsonReply::Send(res, v);
}

void ApiRoutes::Search(const httplib::Request& req, httplib::Response& res) {
  RequestParams params(req);
  std::string query = params.Required("q");
  if (query.empty()) throw HttpError(400, "q is empty");
  if (!GbkText::IsValidUtf8(query)) throw HttpError(400, "q is not UTF-8");
  auto limit = static_cast<size_t>(params.IntOr("limit", 20, 1, 200));
  Json::Value movies(Json::arrayValue);
  auto catalogue = ctx_.catalogue.Get();
  for (const Movie* m : catalogue->Search(query, limit)) {
    Json::Value item;
    item["id"] = m->id;
    item["title"] = m->title;
    item["year"] = m->year;
    item["kinds"] = KindList(m->kinds);
    item["push"] = ctx_.writer->PushNowObject(*m);
    movies.append(item);
  }
  Json::Value v;
  v["count"] = movies.size();
  v["movies"] = movies;
  JsonReply::Send(res, v);
}

void ApiRoutes::PushNow(const httplib::Request& req, httplib::Response& res) {
  UserRecord user = UserParam(req, "username");
  auto id = static_cast<uint32_t>(RequestParams(req).Int("movie_id", 1, 0xFFFFFFFFll));
  auto catalogue = ctx_.catalogue.Get();
  const Movie* m = catalogue->Find(id);
  if (!m) throw HttpError(404, "unknown movie");
  if (!m->Available()) throw HttpError(404, "this movie has been withdrawn");
  Json::Value v;
  std::string query = RequestParams(req).Optional("q").value_or("");
  if (query.size() > 200 || !GbkText::IsValidUtf8(query)) query.clear();
  v["status"] = ctx_.planner->PushNow(user.id, id, query) ? "pushed" : "already_pushed";
  v["movie"] = ctx_.writer->PushNowObject(*m);
  JsonReply::Send(res, v);
}

void ApiRoutes::GetSettings(const httplib::Request& req, httplib::Response& res) {
  JsonReply::Send(res, Settings(UserParam(req, "username")));
}

void ApiRoutes::SetKinds(const httplib::Request& req, httplib::Response& res) {
  UserRecord user = UserParam(req, "username");
  std::string text = RequestParams(req).Required("kinds");
  std::vector<int> kinds;
  size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    size_t comma = text.find(',', start);
    std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
    if (!item.empty()) {
      auto kind = MovieKinds::Parse(item);
      if (!kind) throw HttpError(400, "unknown movie kind \"" + item + "\"");
      kinds.push_back(*kind);
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  ctx_.store->SetKinds(user.id, kinds);
  // Choosing kinds is choosing push by kind; an empty list goes back to push by rating.
  ctx_.store->SetPushMethod(
      user.id, static_cast<int>(kinds.empty() ? PushMethod::kByRating : PushMethod::kByKind));
  JsonReply::Send(res, Settings(*ctx_.store->FindUserById(user.id)));
}

void ApiRoutes::SetPushMethod(const httplib::Request& req, httplib::Response& res) {
  UserRecord user = UserParam(req, "username");
  int method = static_cast<int>(RequestParams(req).Int("method", 1, 2));
  ctx_.store->SetPushMethod(user.id, method);
  JsonReply::Send(res, Settings(*ctx_.store->FindUserById(user.id)));
}

void ApiRoutes::FindUsers(const httplib::Request& req, httplib::Response& res) {
  RequestParams params(req);
  std::string query = params.Required("q");
  if (query.empty()) throw HttpError(400, "q is empty");
  int limit = static_cast<int>(params.IntOr("limit", 20, 1, 200));
  Json::Value users(Json::arrayValue);
  for (const UserRecord& u : ctx_.store->FindUsersContaining(GbkName(query), limit)) {
    users.append(UserSummary(u));
  }
  Json::Value v;
  v["users"] = users;
  JsonReply::Send(res, v);
}

void ApiRoutes::Follow(const httplib::Request& req, httplib::Response& res, bool follow) {
  UserRecord user = UserParam(req, "username");
  UserRecord friendUser = UserParam(req, "friend");
  if (user.id == friendUser.id) throw HttpError(400, "a user cannot follow himself");
  if (follow) {
    ctx_.store->Follow(user.id, friendUser.id);
  } else {
    ctx_.store->Unfollow(user.id, friendUser.id);
  }
  Friends(req, res);
}

void ApiRoutes::Friends(const httplib::Request& req, httplib::Response& res) {
  UserRecord user = UserParam(req, "username");
  Json::Value following(Json::arrayValue);
  for (int64_t id : ctx_.store->Followees(user.id)) {
    if (auto u = ctx_.store->FindUserById(id)) following.append(UserSummary(*u));
  }
  Json::Value followers(Json::arrayValue);
  for (int64_t id : ctx_.store->Followers(user.id)) {
    if (auto u = ctx_.store->FindUserById(id)) followers.append(UserSummary(*u));
  }
  Json::Value v;
  v["username"] = GbkText::ToUtf8Lossy(user.name);
  v["following"] = following;
  v["followers"] = followers;
  JsonReply::Send(res, v);
}

void ApiRoutes::Recommendations(const httplib::Request& req, httplib::Response& res) {
  UserRecord user = UserParam(req, "username");
  int limit = static_cast<int>(RequestParams(req).IntOr("limit", 50, 1, 500));
  Json::Value list(Json::arrayValue);
  auto catalogue = ctx_.catalogue.Get();
  for (const RatingRecord& r : ctx_.store->RecommendationsFor(user.id, limit)) {
    const Movie* m = catalogue->Find(r.movieId);
    auto friendUser = ctx_.store->FindUserById(r.userId);
    if (!m || !friendUser) continue;
    Json::Value item;
    item["friend"] = GbkText::ToUtf8Lossy(friendUser->name);
    item["movie_id"] = m->id;
    item["title"] = m->title;
    item["score"] = r.score;
    item["recommend_all"] = r.recommendAll;
    item["comment"] = r.comment;
    item["rated_at"] = static_cast<Json::Int64>(r.ratedAt);
    item["push"] = ctx_.writer->PushNowObject(*m);
    list.append(item);
  }
  Json::Value v;
  v["recommendations"] = list;
  JsonReply::Send(res, v);
}

}  // namespace zenu
