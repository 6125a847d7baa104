#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "WebRig.h"

namespace {
class PageApi : public ::testing::Test {
 protected:
  void SetUp() override {
    rig = &CWebRig::Get();
    ASSERT_TRUE(rig->Ok()) << rig->Error();
    rig->ClearList("alice");
  }
  // A refused or failed action: its status and code, and no command sent.
  void ExpectRefused(const httplib::Result& res, int status, const std::string& code) {
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, status) << res->body;
    EXPECT_EQ(res->get_header_value("Content-Type"), "application/json; charset=utf-8");
    const Json::Value body = ParseJson(res->body);
    EXPECT_EQ(body["ok"], false) << res->body;
    EXPECT_EQ(body["code"].asString(), code) << res->body;
    EXPECT_FALSE(body["error"].asString().empty());
  }
  // Lets commands in flight arrive before counting them.
  size_t SettledCount() {
    Pump(300);
    return rig->Orvex().commands.size();
  }
  Json::Value Ok(const httplib::Result& res) {
    EXPECT_TRUE(res);
    if (!res) return {};
    EXPECT_EQ(res->status, 200) << res->body;
    const Json::Value body = ParseJson(res->body);
    EXPECT_EQ(body["ok"], true) << res->body;
    return body;
  }
  CWebRig* rig = nullptr;
};
}  // namespace

TEST_F(PageApi, PagesAreServedWithThisRunsTokenAndProtectiveHeaders) {
  auto http = rig->Http();
  for (const char* path : {"/search_home.html", "/friend_search.html", "/dialog/calc_progress.htm",
                           "/dialog/choose_push_method.htm", "/dialog/choose_movie_type.htm"}) {
    auto page = http->Get(path);
    ASSERT_TRUE(page) << path;
    EXPECT_EQ(page->status, 200) << path;
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8") << path;
    EXPECT_NE(page->body.find("content=\"" + rig->Token() + "\""), std::string::npos) << path;
    EXPECT_EQ(page->body.find("__VADEKO_TOKEN__"), std::string::npos) << path;
    EXPECT_NE(page->get_header_value("Content-Security-Policy").find("frame-ancestors 'none'"),
              std::string::npos);
    EXPECT_EQ(page->get_header_value("X-Frame-Options"), "DENY");
    EXPECT_EQ(page->get_header_value("Cache-Control"), "no-store");
    // Nothing from elsewhere: no absolute http(s) addresses in our pages.
    EXPECT_EQ(page->body.find("http://"), std::string::npos) << path;
    EXPECT_EQ(page->body.find("https://"), std::string::npos) << path;
  }
  auto css = http->Get("/css/vadeko.css");
  ASSERT_TRUE(css);
  EXPECT_EQ(css->status, 200);
  EXPECT_EQ(css->get_header_value("Content-Type"), "text/css; charset=utf-8");
  auto js = http->Get("/js/vadeko.js");
  ASSERT_TRUE(js);
  EXPECT_EQ(js->get_header_value("Content-Type"), "text/javascript; charset=utf-8");
  // The name "localhost" with our port is ours too.
  auto local =
      http->Get("/search_home.html", {{"Host", "localhost:" + std::to_string(rig->Port())}});
  ASSERT_TRUE(local);
  EXPECT_EQ(local->status, 200);
}

TEST_F(PageApi, ForeignHostNamesGetNothing) {
  auto http = rig->Http();
  const std::string port = std::to_string(rig->Port());
  for (const std::string& host :
       std::vector<std::string>{"rebind.example:" + port, "127.0.0.1:1", "127.0.0.1"}) {
    for (const char* path : {"/search_home.html", "/Bulletin?strAction=View&iMovieID=1",
                             "/ReqTask?strAction=StartReqTask&strType=normal", "/css/vadeko.css"}) {
      auto res = http->Get(path, {{"Host", host}});
      ASSERT_TRUE(res);
      EXPECT_EQ(res->status, 403) << host << path;
      EXPECT_EQ(res->body.find(rig->Token()), std::string::npos);
      EXPECT_EQ(ParseJson(res->body)["code"].asString(), "bad_host");
    }
  }
  const size_t before = SettledCount();
  ExpectRefused(
      rig->Action("rate", R"({"movie_id": 1, "score": 5})", {{"Host", "rebind.example:" + port}}),
      403, "bad_host");
  EXPECT_EQ(SettledCount(), before);
}

TEST_F(PageApi, CrossOriginRequestsAreRefused) {
  auto http = rig->Http();
  // A foreign site navigating to, embedding or reading our pages.
  for (const httplib::Headers& foreign : {httplib::Headers{{"Sec-Fetch-Site", "cross-site"}},
                                          httplib::Headers{{"Sec-Fetch-Site", "same-site"}},
                                          httplib::Headers{{"Referer", "http://evil.example/"}},
                                          httplib::Headers{{"Origin", "http://evil.example"}}}) {
    for (const char* path : {"/search_home.html", "/Bulletin?strAction=View&iMovieID=1",
                             "/ReqTask?strAction=StartReqTask&strType=quick"}) {
      auto res = http->Get(path, foreign);
      ASSERT_TRUE(res);
      EXPECT_EQ(res->status, 403) << path << " " << foreign.begin()->second;
      EXPECT_EQ(res->body.find(rig->Token()), std::string::npos);
    }
  }
  const size_t before = SettledCount();
  const std::string rate = R"({"movie_id": 1, "score": 5})";
  ExpectRefused(rig->Action("rate", rate, {{"Origin", "http://evil.example"}}), 403,
                "cross_origin");
  ExpectRefused(rig->Action("rate", rate, {{"Origin", "null"}}), 403, "cross_origin");
  ExpectRefused(rig->Action("rate", rate, {{"Sec-Fetch-Site", "cross-site"}}), 403, "cross_origin");
  ExpectRefused(rig->Action("rate", rate, {{"Referer", "http://evil.example/a.html"}}), 403,
                "cross_origin");
  EXPECT_EQ(SettledCount(), before);
  // The client's own task request: no browser headers, no token, accepted.
  auto task = http->Get("/ReqTask?strAction=StartReqTask&strType=normal");
  ASSERT_TRUE(task);
  EXPECT_EQ(task->status, 200);
}

TEST_F(PageApi, ActionsNeedTheTokenAPostAndAJsonBody) {
  const size_t before = SettledCount();
  const std::string rate = R"({"movie_id": 1, "score": 5})";
  ExpectRefused(rig->Action("rate", rate, {{"X-Vadeko-Token", ""}}), 403, "bad_token");
  ExpectRefused(rig->Action("rate", rate, {{"X-Vadeko-Token", std::string(32, 'a')}}), 403,
                "bad_token");
  httplib::Headers noToken = {{"Origin", rig->BaseUrl()}};
  ExpectRefused(rig->Http()->Post("/api/rate", noToken, rate, "application/json"), 403,
                "bad_token");
  // A plain form post is what a foreign page can send without asking.
  ExpectRefused(rig->Action("rate", "movie_id=1&score=5",
                            {{"Content-Type", "application/x-www-form-urlencoded"}}),
                415, "content_type");
  ExpectRefused(rig->Action("rate", rate, {{"Content-Type", "text/plain"}}), 415, "content_type");
  // GET never acts, even with the token.
  ExpectRefused(
      rig->Http()->Get("/api/rate?movie_id=1&score=5", {{"X-Vadeko-Token", rig->Token()}}), 405,
      "method");
  EXPECT_EQ(SettledCount(), before);
}

TEST_F(PageApi, BadInputGetsClearErrorsAndSendsNothing) {
  const size_t before = SettledCount();
  ExpectRefused(rig->Action("no_such_command", "{}"), 404, "unknown_command");
  ExpectRefused(rig->Action("rate", "{not json"), 400, "bad_json");
  ExpectRefused(rig->Action("rate", "[1, 2]"), 400, "bad_json");
  ExpectRefused(rig->Action("rate", ""), 400, "bad_json");
  ExpectRefused(rig->Action("rate", R"({"score": 3})"), 400, "bad_param");
  ExpectRefused(rig->Action("rate", R"({"movie_id": 1, "score": 6})"), 400, "bad_param");
  ExpectRefused(rig->Action("rate", R"({"movie_id": "1", "score": 3})"), 400, "bad_param");
  ExpectRefused(rig->Action("rate", R"({"movie_id": 1.5, "score": 3})"), 400, "bad_param");
  ExpectRefused(rig->Action("rate", R"({"movie_id": 4294967296, "score": 3})"), 400, "bad_param");
  // The client's "no record" is no movie either.
  ExpectRefused(rig->Action("rate", R"({"movie_id": 4294967295, "score": 3})"), 400, "bad_param");
  ExpectRefused(rig->Action("push_now", R"({"movie_id": 4294967295})"), 400, "bad_param");
  ExpectRefused(rig->Action("rate", R"({"movie_id": 1, "score": 3, "recommend_all": "yes"})"), 400,
                "bad_param");
  ExpectRefused(rig->Action("rate", R"({"movie_id": 1, "score": 3, "comment": ")" +
                                        std::string(2001, 'x') + "\"}"),
                400, "bad_param");
  ExpectRefused(rig->Action("download", R"({"movie_id": 1, "client": "other", "fetch_method": 1})"),
                400, "bad_param");
  ExpectRefused(
      rig->Action("download", R"({"movie_id": 1, "client": "thunder", "fetch_method": 3})"), 400,
      "bad_param");
  ExpectRefused(rig->Action("push_method", R"({"method": 3})"), 400, "bad_param");
  ExpectRefused(rig->Action("push_now", R"({"movie_id": 0})"), 400, "bad_param");
  ExpectRefused(rig->Action("kinds/save", R"({"kinds": []})"), 400, "bad_param");
  ExpectRefused(rig->Action("kinds/save", R"({"kinds": [1, 13]})"), 400, "bad_param");
  ExpectRefused(rig->Action("search", R"({"q": "   "})"), 400, "bad_param");
  ExpectRefused(rig->Action("friends/follow", R"({"friend": "alice"})"), 400, "bad_param");
  ExpectRefused(rig->Action("friends/follow", R"({"friend": "nobody-here"})"), 404,
                "service_refused");
  ExpectRefused(rig->Action("push_now", R"({"movie_id": 999999})"), 404, "service_refused");
  EXPECT_EQ(SettledCount(), before);
  EXPECT_EQ(rig->Orvex().iUnparsable, 0);
}

TEST_F(PageApi, ActionsReachTheClientWithTheCommandSet) {
  const int movie = rig->BtMovie();
  size_t from = rig->Orvex().commands.size();
  Ok(rig->Action("rate", "{\"movie_id\": " + std::to_string(movie) +
                             R"(, "score": 4, "recommend_all": true, "comment": "很好看"})"));
  Json::Value cmd;
  ASSERT_TRUE(rig->WaitCommand(10, from, cmd));
  EXPECT_EQ(cmd["INT_MOVIE_ID"].asInt(), movie);
  EXPECT_EQ(cmd["INT_EVAL"].asInt(), 4);
  EXPECT_EQ(cmd["INT_IS_RMD_ALL"].asInt(), 1);
  EXPECT_EQ(cmd["UTF8_COMMENT"].asString(), "很好看");

  from = rig->Orvex().commands.size();
  Ok(rig->Action("download", "{\"movie_id\": " + std::to_string(movie) +
                                 R"(, "client": "vadeko", "fetch_method": 1})"));
  ASSERT_TRUE(rig->WaitCommand(20, from, cmd));
  EXPECT_EQ(cmd["INT_CLIENT_ID"].asInt(), 1);
  EXPECT_EQ(cmd["INT_FETCH_METHOD"].asInt(), 1);

  from = rig->Orvex().commands.size();
  Ok(rig->Action("download", "{\"movie_id\": " + std::to_string(rig->ThunderMovie()) +
                                 R"(, "client": "thunder", "fetch_method": 5})"));
  ASSERT_TRUE(rig->WaitCommand(20, from, cmd));
  EXPECT_EQ(cmd["INT_CLIENT_ID"].asInt(), 0);
  EXPECT_EQ(cmd["INT_FETCH_METHOD"].asInt(), 5);

  // The push-now object is the service's, unchanged.
  from = rig->Orvex().commands.size();
  const Json::Value pushed =
      Ok(rig->Action("push_now", "{\"movie_id\": " + std::to_string(movie) + "}"));
  EXPECT_EQ(pushed["title"].asString(), rig->TitleOf(movie));
  ASSERT_TRUE(rig->WaitCommand(2, from, cmd));
  const Json::Value expected = rig->ServiceJson("/api/v1/movies/" + std::to_string(movie))["push"];
  EXPECT_EQ(cmd["DICT_MOVIE"], expected);
  EXPECT_EQ(cmd["DICT_MOVIE"]["INT_MOVIE_ID"].asInt(), movie);
  EXPECT_FALSE(cmd["DICT_MOVIE"]["ASC_BTSEED_URL"].asString().empty());
  // Pushing it again is still a command: the client tells the user it is there.
  from = rig->Orvex().commands.size();
  EXPECT_EQ(Ok(rig->Action("push_now", "{\"movie_id\": " + std::to_string(movie) + "}"))["status"],
            "already_pushed");
  ASSERT_TRUE(rig->WaitCommand(2, from, cmd));
  // Once the client's list holds it, nothing goes out and the page hears so.
  ASSERT_TRUE(rig->PutInList("alice", movie));
  from = rig->Orvex().commands.size();
  EXPECT_EQ(Ok(rig->Action("push_now", "{\"movie_id\": " + std::to_string(movie) + "}"))["status"],
            "in_list");
  Ok(rig->Action("download", "{\"movie_id\": " + std::to_string(movie) +
                                 R"(, "client": "vadeko", "fetch_method": 1})"));
  ASSERT_TRUE(rig->WaitCommand(20, from, cmd));
  EXPECT_TRUE(rig->Orvex().Of(2, from).empty());

  // The movie as the bulletin page follows it: the user's own rating once the service has it.
  Json::Value mine = Ok(rig->Action("movie", "{\"movie_id\": " + std::to_string(movie) + "}"));
  EXPECT_EQ(mine["my_score"].asInt(), 0);
  const long long before = mine["rating_count"].asLargestInt();
  ASSERT_TRUE(rig->Rate("alice", movie, 4, false, "很好看"));
  mine = Ok(rig->Action("movie", "{\"movie_id\": " + std::to_string(movie) + "}"));
  EXPECT_EQ(mine["my_score"].asInt(), 4);
  EXPECT_EQ(mine["my_comment"].asString(), "很好看");
  EXPECT_EQ(mine["rating_count"].asLargestInt(), before + 1);

  for (int method : {1, 2}) {
    from = rig->Orvex().commands.size();
    const Json::Value answer =
        Ok(rig->Action("push_method", "{\"method\": " + std::to_string(method) + "}"));
    EXPECT_EQ(answer["saved"], true);
    ASSERT_TRUE(rig->WaitCommand(method == 1 ? 111 : 112, from, cmd));
    EXPECT_EQ(rig->ServiceJson("/api/v1/users/settings?username=alice")["push_method"].asInt(),
              method);
  }

  const Json::Value saved = Ok(rig->Action("kinds/save", R"({"kinds": [3, 1]})"));
  ASSERT_EQ(saved["kinds"].size(), 2u);
  const Json::Value settings = rig->ServiceJson("/api/v1/users/settings?username=alice");
  ASSERT_EQ(settings["kinds"].size(), 2u);
  EXPECT_EQ(settings["push_method"].asInt(), 2);
  const Json::Value kinds = Ok(rig->Action("kinds", "{}"));
  EXPECT_EQ(kinds["kinds"].size(), 12u);
  EXPECT_EQ(kinds["chosen"].size(), 2u);
}

TEST_F(PageApi, SearchAndFriendsGoThroughTheService) {
  const std::string title = rig->TitleOf(rig->BtMovie());
  const Json::Value found = Ok(rig->Action("search", "{\"q\": \"" + title + "\"}"));
  ASSERT_GE(found["movies"].size(), 1u);
  EXPECT_EQ(found["movies"][0]["title"].asString(), title);
  EXPECT_EQ(found["movies"][0]["in_list"], false);
  ASSERT_TRUE(rig->PutInList("alice", rig->BtMovie()));
  EXPECT_EQ(Ok(rig->Action("search", "{\"q\": \"" + title + "\"}"))["movies"][0]["in_list"], true);

  ASSERT_TRUE(rig->Rate("张三", rig->BtMovie(), 5, true, "强烈推荐"));
  const Json::Value users = Ok(rig->Action("users/find", R"({"q": "张"})"));
  ASSERT_EQ(users["users"].size(), 1u);
  EXPECT_EQ(users["users"][0]["username"].asString(), "张三");
  EXPECT_EQ(users["users"][0]["following"], false);
  Ok(rig->Action("friends/follow", R"({"friend": "张三"})"));
  const Json::Value friends = Ok(rig->Action("friends", "{}"));
  ASSERT_EQ(friends["following"].size(), 1u);
  EXPECT_EQ(friends["following"][0]["username"].asString(), "张三");
  EXPECT_EQ(Ok(rig->Action("users/find", R"({"q": "张"})"))["users"][0]["following"], true);
  const Json::Value recs = Ok(rig->Action("friends/recommendations", "{}"));
  ASSERT_GE(recs["recommendations"].size(), 1u);
  EXPECT_EQ(recs["recommendations"][0]["friend"].asString(), "张三");
  EXPECT_EQ(recs["recommendations"][0]["comment"].asString(), "强烈推荐");
  EXPECT_EQ(recs["recommendations"][0]["in_list"], true);
  const Json::Value after = Ok(rig->Action("friends/unfollow", R"({"friend": "张三"})"));
  EXPECT_EQ(after["following"].size(), 0u);
}

TEST_F(PageApi, BulletinPagesComeFromTheServiceAndUnknownMoviesAre404) {
  auto http = rig->Http();
  const int movie = rig->BtMovie();
  auto page = http->Get(("/Bulletin?strAction=View&iMovieID=" + std::to_string(movie)).c_str());
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_NE(page->body.find(rig->TitleOf(movie)), std::string::npos);
  EXPECT_NE(page->body.find("content=\"" + rig->Token() + "\""), std::string::npos);
  EXPECT_NE(page->get_header_value("Content-Security-Policy").find("script-src 'self'"),
            std::string::npos);
  auto thunder = http->Get(
      ("/Bulletin?strAction=View&iMovieID=" + std::to_string(rig->ThunderMovie())).c_str());
  ASSERT_TRUE(thunder);
  EXPECT_NE(thunder->body.find("data-fetch-url=\"thunder://"), std::string::npos);

  auto unknown = http->Get("/Bulletin?strAction=View&iMovieID=999999");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 404);
  for (const char* bad :
       {"/Bulletin?strAction=View", "/Bulletin?strAction=View&iMovieID=abc",
        "/Bulletin?strAction=Edit&iMovieID=1", "/Bulletin?strAction=View&iMovieID=0",
        "/Bulletin?strAction=View&iMovieID=99999999999"}) {
    auto res = http->Get(bad);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400) << bad;
  }
}

TEST_F(PageApi, BulletinSaysWhyAMovieWasPushedAndTakesNotInterested) {
  auto http = rig->Http();
  const int movie = rig->ThunderMovie();
  const std::string page = "/Bulletin?strAction=View&iMovieID=" + std::to_string(movie);
  Ok(rig->Action("push_now", "{\"movie_id\": " + std::to_string(movie) + "}"));
  const std::string why = rig->ServiceJson("/api/v1/pushes/reason?username=alice&movie_id=" +
                                           std::to_string(movie))["reason"]
                              .asString();
  ASSERT_FALSE(why.empty());
  auto before = http->Get(page.c_str());
  ASSERT_TRUE(before);
  EXPECT_NE(before->body.find("<h2>为什么推荐</h2>"), std::string::npos);
  EXPECT_NE(before->body.find(why), std::string::npos);
  EXPECT_NE(before->body.find("id=\"btnDismiss\""), std::string::npos);

  const size_t sent = rig->Orvex().commands.size();
  Ok(rig->Action("dismiss", "{\"movie_id\": " + std::to_string(movie) + "}"));
  // The client moves the record as for its own "不感兴趣".
  Json::Value told;
  ASSERT_TRUE(rig->WaitCommand(50, sent, told));
  EXPECT_EQ(told["INT_MOVIE_ID"].asInt(), movie);
  EXPECT_EQ(told["INT_RESULT"].asInt(), 1);
  auto after = http->Get(page.c_str());
  ASSERT_TRUE(after);
  EXPECT_NE(after->body.find("您已表示不感兴趣"), std::string::npos);
  EXPECT_EQ(after->body.find("id=\"btnDismiss\""), std::string::npos);
  // A movie never pushed to the user has no reason, and cannot be dismissed.
  ExpectRefused(rig->Action("dismiss", R"({"movie_id": 999999})"), 404, "service_refused");
  rig->SetUser("bob");
  auto other = http->Get(page.c_str());
  ASSERT_TRUE(other);
  EXPECT_EQ(other->status, 200);
  EXPECT_EQ(other->body.find("为什么推荐"), std::string::npos);
  rig->SetUser("alice");
}

TEST_F(PageApi, ServiceDownMalformedOrRefusingGivesJsonErrors) {
  // A stand-in service that answers with garbage or with its own errors.
  httplib::Server fake;
  fake.Get("/api/v1/search", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<html>not json</html>", "text/html");
  });
  fake.Get("/api/v1/kinds", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(R"({"kinds": "none"})", "application/json");
  });
  fake.Post("/api/v1/push_now", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(R"({"status": "pushed", "movie": {"INT_MOVIE_ID": "x"}})", "application/json");
  });
  fake.Get(R"(/api/v1/movies/(\d+))", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(R"([1, 2, 3])", "application/json");
  });
  fake.Get("/api/v1/friends", [](const httplib::Request&, httplib::Response& res) {
    res.status = 500;
    res.set_content(R"({"error": "database is locked"})", "application/json");
  });
  const int fakePort = fake.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { fake.listen_after_bind(); });
  WaitFor([&] { return fake.is_running(); }, 8000);
  ASSERT_TRUE(rig->PointAtService(fakePort));
  ExpectRefused(rig->Action("search", R"({"q": "a"})"), 502, "bad_service_answer");
  ExpectRefused(rig->Action("kinds", "{}"), 502, "bad_service_answer");
  const size_t before = SettledCount();
  ExpectRefused(rig->Action("push_now", R"({"movie_id": 1})"), 502, "bad_service_answer");
  EXPECT_EQ(SettledCount(), before);
  ExpectRefused(rig->Action("friends", "{}"), 502, "service_refused");
  auto page = rig->Http()->Get("/Bulletin?strAction=View&iMovieID=1");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 502);
  fake.stop();
  serving.join();

  // Nothing listens there any more.
  ASSERT_TRUE(rig->PointAtService(fakePort));
  ExpectRefused(rig->Action("search", R"({"q": "a"})"), 502, "service_down");
  ExpectRefused(rig->Action("kinds/save", R"({"kinds": [1]})"), 502, "service_down");
  page = rig->Http()->Get("/Bulletin?strAction=View&iMovieID=1");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 502);
  // The push method is the client's choice: it still goes out, with a warning.
  size_t from = rig->Orvex().commands.size();
  const Json::Value chosen = Ok(rig->Action("push_method", R"({"method": 1})"));
  EXPECT_EQ(chosen["saved"], false);
  EXPECT_FALSE(chosen["warning"].asString().empty());
  Json::Value cmd;
  EXPECT_TRUE(rig->WaitCommand(111, from, cmd));

  // Nobody logged in: the actions that need a user say so.
  ASSERT_TRUE(rig->PointAtService(rig->ServicePort()));
  rig->SetUser("");
  ExpectRefused(rig->Action("push_now", R"({"movie_id": 1})"), 409, "not_logged_in");
  ExpectRefused(rig->Action("friends", "{}"), 409, "not_logged_in");
  ExpectRefused(rig->Action("kinds/save", R"({"kinds": [1]})"), 409, "not_logged_in");
  rig->SetUser("alice");
  Ok(rig->Action("friends", "{}"));
}
