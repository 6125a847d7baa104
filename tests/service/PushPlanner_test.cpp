#include <tinyxml2.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include "CatalogueGenerator.h"
#include "MovieKinds.h"
#include "ServiceFixture.h"

namespace zenu::test {
namespace {

// The client's reading of a media-info size text, in megabytes.
double ClientSizeMb(const std::string& text) {
  auto contains = [&](const char* s) {
    size_t at = text.find(s);
    return at != std::string::npos && at > 0;
  };
  double mb = text.empty() ? 0 : 1;
  if (contains("M")) mb = std::atoi(text.substr(0, text.size() - 1).c_str());
  if (contains("G")) mb *= 1000;
  if (contains("B") && !contains("K")) mb *= 0.000001;
  if (contains("K")) mb = std::atoi(text.substr(0, text.size() - 2).c_str()) * 0.001;
  return mb;
}

// The client's insertion of its service port after the host.
std::string UrlAndPort(const std::string& url, int port) {
  std::string copy = url;
  copy.replace(copy.find("://"), 3, ":__");
  size_t at = copy.find('/');
  if (at == std::string::npos || at == 0) at = copy.find('?');
  if (at == std::string::npos || at == 0) at = url.size();
  return url.substr(0, at) + ":" + std::to_string(port) + url.substr(at);
}

struct Pushed final {
  std::map<std::string, std::string> attributes;
  uint32_t gid() const { return static_cast<uint32_t>(std::stoul(attributes.at("gid"))); }
  double expect() const { return std::atof(attributes.at("expect_eval").c_str()); }
};

std::vector<Pushed> ParseMediaInfo(const std::string& xml) {
  tinyxml2::XMLDocument doc;
  EXPECT_EQ(doc.Parse(xml.c_str()), tinyxml2::XML_SUCCESS) << xml;
  std::vector<Pushed> out;
  if (!doc.RootElement()) return out;
  for (auto* e = doc.RootElement()->FirstChildElement(); e; e = e->NextSiblingElement()) {
    Pushed p;
    for (auto* a = e->FirstAttribute(); a; a = a->Next()) p.attributes[a->Name()] = a->Value();
    out.push_back(p);
  }
  return out;
}

class PushPlannerTest : public ServiceFixture {
 protected:
  std::vector<Pushed> Pushes(const std::string& user, const std::string& form) {
    Json::Value v = Task(user, form);
    EXPECT_EQ(v["status"].asString(), "ok") << v.toStyledString();
    auto pushed = ParseMediaInfo(v["media_info"].asString());
    EXPECT_EQ(pushed.size(), v["count"].asUInt());
    return pushed;
  }
  bool HasKind(uint32_t id, int kind) {
    const auto& kinds = Movies().Find(id)->kinds;
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
  }
};

TEST_F(PushPlannerTest, MediaInfoHoldsExactlyTheClientAttributesAndUsableValues) {
  ASSERT_EQ(Register("ann"), kMarker);
  auto pushed = Pushes("ann", "NewUser");
  ASSERT_EQ(pushed.size(), 10u);
  const std::set<std::string> expected = {
      "gid",         "file_name",    "bt_seed_url",  "task_display_name",
      "expect_eval", "size",         "bulletin_url", "use_public_torrent",
      "store_name",  "fetch_method", "fetch_url"};
  bool sawDownloadManagerOnly = false;
  for (const Pushed& p : pushed) {
    std::set<std::string> names;
    for (const auto& [name, value] : p.attributes) names.insert(name);
    EXPECT_EQ(names, expected);
    const Movie* m = Movies().Find(p.gid());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(p.attributes.at("task_display_name"), m->title);
    // Whole megabytes as the client reads them, within rounding of the real size.
    EXPECT_NEAR(ClientSizeMb(p.attributes.at("size")), m->sizeBytes / 1e6, 0.5 + 1e-9)
        << p.attributes.at("size");
    EXPECT_GT(ClientSizeMb(p.attributes.at("size")), 0);
    for (const char* a : {"task_display_name", "bt_seed_url", "bulletin_url", "fetch_url"}) {
      EXPECT_EQ(p.attributes.at(a).find_first_of("'\""), std::string::npos);
    }
    // The client adds its service port itself; with it the page is served here.
    const std::string& bulletin = p.attributes.at("bulletin_url");
    EXPECT_EQ(bulletin, "http://127.0.0.1/bulletin/" + std::to_string(m->id) + ".html");
    std::string page = Body(
        UrlAndPort(bulletin, port_).substr(("http://127.0.0.1:" + std::to_string(port_)).size()));
    EXPECT_NE(page.find(m->title), std::string::npos);
    int method = std::atoi(p.attributes.at("fetch_method").c_str());
    if (method == 1) {
      EXPECT_EQ(p.attributes.at("bt_seed_url"),
                "http://127.0.0.1/torrent/" + std::to_string(m->id) + ".torrent");
    } else {
      EXPECT_EQ(method, 5);
      EXPECT_TRUE(p.attributes.at("bt_seed_url").empty());
      EXPECT_EQ(p.attributes.at("fetch_url").rfind("thunder://", 0), 0u);
      sawDownloadManagerOnly = true;
    }
  }
  EXPECT_TRUE(sawDownloadManagerOnly);
}

TEST_F(PushPlannerTest, SizeTextFollowsTheClientRules) {
  EXPECT_EQ(MediaInfoWriter::SizeText(700'000'000), "700M");
  EXPECT_EQ(MediaInfoWriter::SizeText(1'500'000'000), "1500M");
  EXPECT_DOUBLE_EQ(ClientSizeMb(MediaInfoWriter::SizeText(1'500'000'000)), 1500);
  EXPECT_EQ(MediaInfoWriter::SizeText(500'000), "500KB");
  EXPECT_DOUBLE_EQ(ClientSizeMb(MediaInfoWriter::SizeText(500'000)), 0.5);
  EXPECT_EQ(MediaInfoWriter::SizeText(1), "1KB");
}

TEST_F(PushPlannerTest, PushesAreNeverRepeatedAndExhaustionIsReported) {
  ASSERT_EQ(Register("ben"), kMarker);
  std::set<uint32_t> seen;
  int requests = 0;
  for (;;) {
    Json::Value v = Task("ben", "quick");
    if (v["status"].asString() == "exhausted") break;
    ASSERT_LT(++requests, 20) << "never exhausted";
    for (const Pushed& p : ParseMediaInfo(v["media_info"].asString())) {
      EXPECT_TRUE(seen.insert(p.gid()).second) << "pushed twice: " << p.gid();
    }
  }
  EXPECT_EQ(seen.size(), Movies().All().size());
  Json::Value again = Task("ben", "quick");
  EXPECT_EQ(again["status"].asString(), "exhausted");
  EXPECT_EQ(again["count"].asInt(), 0);
  EXPECT_FALSE(again.isMember("media_info"));
}

TEST_F(PushPlannerTest, StartRequestsOnlyTopUpTheUnratedPushesWhileRatingsBringMore) {
  ASSERT_EQ(Register("ida"), kMarker);
  std::vector<Pushed> got = Pushes("ida", "OldUser");
  for (const Pushed& p : Pushes("ida", "normal")) got.push_back(p);
  ASSERT_EQ(got.size(), 10u);
  // Ten unrated: a start brings nothing and says so without claiming the end.
  for (const char* form : {"normal", "OldUser"}) {
    Json::Value held = Task("ida", form);
    EXPECT_EQ(held["status"].asString(), "ok") << form;
    EXPECT_EQ(held["count"].asInt(), 0) << form;
  }
  ASSERT_EQ(Rate("ida", got[0].gid(), 4), kMarker);
  EXPECT_EQ(Pushes("ida", "quick").size(), 3u);          // a rating asks at once
  EXPECT_EQ(Task("ida", "normal")["count"].asInt(), 0);  // 12 unrated
  for (int i = 1; i <= 4; ++i) ASSERT_EQ(Rate("ida", got[i].gid(), 3), kMarker);
  EXPECT_EQ(Pushes("ida", "normal").size(), 2u);  // 8 unrated, topped up to 10
}

class PredictionFloorTest : public PushPlannerTest {
 protected:
  void Configure(ServiceConfig& config) override { config.planner.minPrediction = 3.0; }
};

TEST_F(PredictionFloorTest, MoviesPredictedBelowTheFloorAreNeverPushed) {
  ASSERT_EQ(Register("pop"), kMarker);
  ASSERT_EQ(Register("cat"), kMarker);
  for (uint32_t id : {1u, 2u, 3u, 4u}) ASSERT_EQ(Rate("pop", id, 4), kMarker);
  ASSERT_EQ(Rate("cat", 1, 5), kMarker);
  ASSERT_EQ(Rate("cat", 2, 5), kMarker);
  // Two romances rated 1: "no more like this".
  ASSERT_EQ(Rate("cat", 6, 1), kMarker);
  ASSERT_EQ(Rate("cat", 13, 1), kMarker);
  ASSERT_EQ(Movies().Find(20)->kinds[0], 3);
  auto cat = GetStore().FindUser("cat");
  auto below = service_->Context().recommender->Predict(cat->id, {20});
  ASSERT_LT(below[0].score, 3.0);

  std::set<uint32_t> pushed;
  for (int i = 0; i < 20; ++i) {
    Json::Value v = Task("cat", "quick");
    if (v["status"].asString() == "exhausted") break;
    for (const Pushed& p : ParseMediaInfo(v["media_info"].asString())) {
      EXPECT_GE(p.expect(), 3.0);
      pushed.insert(p.gid());
    }
  }
  EXPECT_FALSE(pushed.empty());
  EXPECT_EQ(pushed.count(20), 0u);
  EXPECT_LT(pushed.size(), Movies().All().size() - 2);
}

TEST_F(PushPlannerTest, ActionLoverGetsActionPredictedHigher) {
  ASSERT_EQ(Register("dan"), kMarker);
  std::vector<uint32_t> action;
  int rated = 0;
  for (const Movie& m : Movies().All()) {
    bool isAction = HasKind(m.id, 1);
    if (isAction && rated < 2) {
      ASSERT_EQ(Rate("dan", m.id, 5), kMarker);
      ++rated;
    } else if (!isAction && (m.kinds[0] == 3 || m.kinds[0] == 6) && rated < 4) {
      ASSERT_EQ(Rate("dan", m.id, 2), kMarker);
      ++rated;
    }
  }
  ASSERT_EQ(rated, 4);
  auto pushed = Pushes("dan", "quick");
  ASSERT_FALSE(pushed.empty());
  EXPECT_TRUE(HasKind(pushed[0].gid(), 1)) << Movies().Find(pushed[0].gid())->title;
  // Best first.
  for (size_t i = 1; i < pushed.size(); ++i) EXPECT_LE(pushed[i].expect(), pushed[i - 1].expect());
  double actionSum = 0, otherSum = 0;
  int actionCount = 0, otherCount = 0;
  std::vector<uint32_t> unseen;
  for (const Movie& m : Movies().All()) unseen.push_back(m.id);
  auto user = GetStore().FindUser("dan");
  for (const Prediction& p : service_->Context().recommender->Predict(user->id, unseen)) {
    EXPECT_GE(p.score, 1.0);
    EXPECT_LE(p.score, 5.0);
    if (HasKind(p.movieId, 1)) {
      actionSum += p.score;
      ++actionCount;
    } else {
      otherSum += p.score;
      ++otherCount;
    }
  }
  ASSERT_GT(actionCount, 0);
  ASSERT_GT(otherCount, 0);
  EXPECT_GT(actionSum / actionCount, otherSum / otherCount + 0.3);
}

TEST_F(PushPlannerTest, CustomPushByKindGivesMarker100AndOnlyThoseKinds) {
  ASSERT_EQ(Register("eve"), kMarker);
  JsonPost("/api/v1/users/kinds", {{"username", "eve"}, {"kinds", "悬疑,4"}});
  std::set<uint32_t> got;
  for (;;) {
    Json::Value v = Task("eve", "quick");
    if (v["status"].asString() == "exhausted") break;
    for (const Pushed& p : ParseMediaInfo(v["media_info"].asString())) {
      EXPECT_DOUBLE_EQ(p.expect(), 100.0);
      EXPECT_TRUE(HasKind(p.gid(), 8) || HasKind(p.gid(), 4)) << p.gid();
      got.insert(p.gid());
    }
    ASSERT_LT(got.size(), Movies().All().size());
  }
  size_t matching =
      std::count_if(Movies().All().begin(), Movies().All().end(),
                    [&](const Movie& m) { return HasKind(m.id, 8) || HasKind(m.id, 4); });
  EXPECT_EQ(got.size(), matching);
  EXPECT_GT(matching, 0u);
}

TEST_F(PushPlannerTest, RecommendToAllReachesFollowersAs300) {
  ASSERT_EQ(Register("star"), kMarker);
  ASSERT_EQ(Register("fan"), kMarker);
  ASSERT_EQ(Register("stranger"), kMarker);
  JsonPost("/api/v1/friends/follow", {{"username", "fan"}, {"friend", "star"}});
  ASSERT_EQ(Rate("star", 7, 5, 1, "必看"), kMarker);
  ASSERT_EQ(Rate("star", 9, 5, 0), kMarker);   // not recommended to all
  ASSERT_EQ(Rate("star", 11, 4, 1), kMarker);  // not a 5

  auto pushed = Pushes("fan", "normal");
  std::vector<uint32_t> friendPushes;
  for (const Pushed& p : pushed) {
    if (std::fabs(p.expect() - 300) < 1) friendPushes.push_back(p.gid());
  }
  EXPECT_EQ(friendPushes, std::vector<uint32_t>{7});
  // Delivered once only.
  for (const Pushed& p : Pushes("fan", "normal")) EXPECT_NE(p.gid(), 7u);
  for (const Pushed& p : Pushes("stranger", "normal")) EXPECT_NE(p.expect(), 300.0);
}

TEST_F(PushPlannerTest, FriendPushStillArrivesWhenEverythingElseIsExhausted) {
  ASSERT_EQ(Register("star"), kMarker);
  ASSERT_EQ(Register("fan"), kMarker);
  JsonPost("/api/v1/users/kinds", {{"username", "fan"}, {"kinds", "战争"}});
  while (Task("fan", "quick")["status"].asString() != "exhausted") {
  }
  JsonPost("/api/v1/friends/follow", {{"username", "fan"}, {"friend", "star"}});
  uint32_t nonWar = 0;
  for (const Movie& m : Movies().All()) {
    if (!HasKind(m.id, 9)) nonWar = m.id;
  }
  ASSERT_EQ(Rate("star", nonWar, 5, 1), kMarker);
  auto pushed = Pushes("fan", "quick");
  ASSERT_EQ(pushed.size(), 1u);
  EXPECT_EQ(pushed[0].gid(), nonWar);
  EXPECT_DOUBLE_EQ(pushed[0].expect(), 300.0);
}

TEST_F(PushPlannerTest, SearchPushIsRecordedAs200AndNotPushedAgain) {
  ASSERT_EQ(Register("finn"), kMarker);
  Json::Value found = JsonGet("/api/v1/search?q=" + GbkText::PercentEncode("往事"));
  ASSERT_GT(found["count"].asInt(), 0);
  uint32_t id = found["movies"][0]["id"].asUInt();
  Json::Value pushed =
      JsonPost("/api/v1/push_now", {{"username", "finn"}, {"movie_id", std::to_string(id)}});
  EXPECT_EQ(pushed["status"].asString(), "pushed");
  EXPECT_EQ(pushed["movie"]["INT_MOVIE_ID"].asUInt(), id);
  auto records = GetStore().Pushes(GetStore().FindUser("finn")->id);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_DOUBLE_EQ(records[0].expectEval, 200.0);
  EXPECT_EQ(JsonPost("/api/v1/push_now",
                     {{"username", "finn"}, {"movie_id", std::to_string(id)}})["status"]
                .asString(),
            "already_pushed");
  for (int i = 0; i < 10; ++i) {
    Json::Value v = Task("finn", "OldUser");
    if (v["status"].asString() == "exhausted") break;
    for (const Pushed& p : ParseMediaInfo(v["media_info"].asString())) EXPECT_NE(p.gid(), id);
  }
}

class WhyPushedTest : public PushPlannerTest {
 protected:
  void Configure(ServiceConfig& config) override { config.catalogue.demoRaters = 12; }
  std::string Reason(const std::string& user, uint32_t id, int status = 200) {
    return JsonGet("/api/v1/pushes/reason?username=" + user + "&movie_id=" + std::to_string(id),
                   status)["reason"]
        .asString();
  }
};

TEST_F(WhyPushedTest, EveryPushKeepsItsReasonAndDismissedMoviesStayAway) {
  ASSERT_EQ(Register("ivy"), kMarker);
  for (const Pushed& p : Pushes("ivy", "OldUser")) EXPECT_EQ(Reason("ivy", p.gid()), "大家评分高");
  // The demo's made-up viewers give the prediction neighbours: reasons name the user's ratings.
  const auto first = Pushes("ivy", "NewUser");
  ASSERT_GE(first.size(), 3u);
  ASSERT_EQ(Rate("ivy", first[0].gid(), 5), kMarker);
  ASSERT_EQ(Rate("ivy", first[1].gid(), 1), kMarker);
  const std::string r0 = "《" + Movies().Find(first[0].gid())->title + "》打了5分";
  const std::string r1 = "《" + Movies().Find(first[1].gid())->title + "》打了1分";
  int named = 0;
  for (int round = 0; round < 3; ++round) {
    for (const Pushed& p : Pushes("ivy", "quick")) {
      // Either on popularity alone, or on the user's own ratings, never anything else.
      std::string why = Reason("ivy", p.gid());
      bool mine = why.find(r0) != std::string::npos || why.find(r1) != std::string::npos;
      EXPECT_TRUE(why == "大家评分高" || (why.rfind("你给《", 0) == 0 && mine)) << why;
      named += mine;
    }
  }
  EXPECT_GT(named, 0);

  // Not interested: gone from later pushes, even from the resend to an emptied client.
  const uint32_t dismissed = first[2].gid();
  auto answer = JsonPost("/api/v1/pushes/dismiss",
                         {{"username", "ivy"}, {"movie_id", std::to_string(dismissed)}});
  EXPECT_EQ(answer["status"].asString(), "dismissed");
  EXPECT_TRUE(JsonGet("/api/v1/pushes/reason?username=ivy&movie_id=" +
                      std::to_string(dismissed))["dismissed"]
                  .asBool());
  for (const Pushed& p : Pushes("ivy", "NewUser")) EXPECT_NE(p.gid(), dismissed);
  // Only what was pushed can be dismissed or explained.
  ASSERT_EQ(Register("zed"), kMarker);
  JsonPost("/api/v1/pushes/dismiss", {{"username", "zed"}, {"movie_id", "1"}}, 404);
  Reason("zed", 1, 404);

  // Custom push: the kinds that matched; search: the search; friend: who and what they said.
  JsonPost("/api/v1/users/kinds", {{"username", "zed"}, {"kinds", "4"}});
  for (const Pushed& p : Pushes("zed", "quick")) {
    EXPECT_EQ(Reason("zed", p.gid()), "符合你选的类型：" + *MovieKinds::Name(4));
  }
  Json::Value found = JsonGet("/api/v1/search?q=" + GbkText::PercentEncode("往事"));
  ASSERT_GT(found["count"].asInt(), 0);
  uint32_t searched = found["movies"][0]["id"].asUInt();
  ASSERT_EQ(Register("sam"), kMarker);
  ASSERT_EQ(JsonPost("/api/v1/push_now", {{"username", "sam"},
                                          {"movie_id", std::to_string(searched)},
                                          {"q", "往事"}})["status"]
                .asString(),
            "pushed");
  EXPECT_EQ(Reason("sam", searched), "你搜索了“往事”");
  ASSERT_EQ(Register("fan"), kMarker);
  JsonPost("/api/v1/friends/follow", {{"username", "fan"}, {"friend", "ivy"}});
  ASSERT_EQ(Rate("ivy", first[0].gid(), 5, 1, "必看"), kMarker);
  EXPECT_EQ(Reason("fan", first[0].gid()), "ivy推荐：必看");
}

TEST_F(PushPlannerTest, NewUserFormSendsUnratedPushesAgain) {
  ASSERT_EQ(Register("gus"), kMarker);
  auto first = Pushes("gus", "OldUser");
  ASSERT_EQ(first.size(), 5u);
  ASSERT_EQ(Rate("gus", first[0].gid(), 4), kMarker);
  std::set<uint32_t> again;
  for (const Pushed& p : Pushes("gus", "NewUser")) again.insert(p.gid());
  EXPECT_EQ(again.count(first[0].gid()), 0u);
  for (size_t i = 1; i < first.size(); ++i) EXPECT_EQ(again.count(first[i].gid()), 1u);
}

TEST_F(PushPlannerTest, ConcurrentRequestsOfOneUserNeverShareAMovie) {
  ASSERT_EQ(Register("hal"), kMarker);
  std::vector<std::thread> threads;
  std::mutex mutex;
  std::vector<uint32_t> all;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      httplib::Client c("127.0.0.1", port_);
      auto res = c.Get("/api/v1/task?username=hal&form=quick");
      if (!res || res->status != 200) return;
      for (const Pushed& p : ParseMediaInfo(ParseJson(res->body)["media_info"].asString())) {
        std::lock_guard<std::mutex> lock(mutex);
        all.push_back(p.gid());
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(all.size(), 12u);
  EXPECT_EQ(std::set<uint32_t>(all.begin(), all.end()).size(), all.size());
}

}  // namespace
}  // namespace zenu::test
