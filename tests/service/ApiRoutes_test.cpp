#include "ServiceFixture.h"

namespace zenu::test {
namespace {

class ApiRoutesTest : public ServiceFixture {};

TEST_F(ApiRoutesTest, FindFollowAndListFriends) {
  const std::string wang = *GbkText::FromUtf8("王五");
  ASSERT_EQ(Register(wang), kMarker);
  ASSERT_EQ(Register("wangfan"), kMarker);
  ASSERT_EQ(Register("other"), kMarker);

  Json::Value found = JsonGet("/api/v1/users/find?q=" + GbkText::PercentEncode("王"));
  ASSERT_EQ(found["users"].size(), 1u);
  EXPECT_EQ(found["users"][0]["username"].asString(), "王五");
  EXPECT_EQ(JsonGet("/api/v1/users/find?q=wang")["users"].size(), 1u);

  Json::Value friends =
      JsonPost("/api/v1/friends/follow", {{"username", "wangfan"}, {"friend", "王五"}});
  ASSERT_EQ(friends["following"].size(), 1u);
  EXPECT_EQ(friends["following"][0]["username"].asString(), "王五");
  Json::Value theirs = JsonGet("/api/v1/friends?username=" + GbkText::PercentEncode("王五"));
  ASSERT_EQ(theirs["followers"].size(), 1u);
  EXPECT_EQ(theirs["followers"][0]["username"].asString(), "wangfan");

  ASSERT_EQ(Rate(wang, 2, 5, 1, "经典"), kMarker);
  ASSERT_EQ(Rate(wang, 3, 2), kMarker);
  Json::Value recs = JsonGet("/api/v1/friends/recommendations?username=wangfan");
  ASSERT_EQ(recs["recommendations"].size(), 1u);
  EXPECT_EQ(recs["recommendations"][0]["movie_id"].asUInt(), 2u);
  EXPECT_EQ(recs["recommendations"][0]["friend"].asString(), "王五");
  EXPECT_EQ(recs["recommendations"][0]["comment"].asString(), "经典");
  EXPECT_EQ(recs["recommendations"][0]["push"]["INT_MOVIE_ID"].asUInt(), 2u);
  EXPECT_EQ(JsonGet("/api/v1/friends/recommendations?username=other")["recommendations"].size(),
            0u);

  friends = JsonPost("/api/v1/friends/unfollow", {{"username", "wangfan"}, {"friend", "王五"}});
  EXPECT_EQ(friends["following"].size(), 0u);
}

TEST_F(ApiRoutesTest, PushNowObjectHasTheClientKeys) {
  Json::Value found = JsonGet("/api/v1/search?q=" + GbkText::PercentEncode("悬疑"));
  ASSERT_GT(found["count"].asInt(), 0);
  for (const Json::Value& movie : found["movies"]) {
    const Json::Value& push = movie["push"];
    for (const char* key : {"INT_MOVIE_ID", "UTF8_MOVIE_NAME", "ASC_BULLETIN_URL", "ASC_SIZE",
                            "INT_FETCH_METHOD", "ASC_FETCH_URL"}) {
      EXPECT_TRUE(push.isMember(key)) << key;
    }
    EXPECT_TRUE(push["INT_MOVIE_ID"].isIntegral());
    EXPECT_TRUE(push["INT_FETCH_METHOD"].isIntegral());
    const Movie* m = Movies().Find(push["INT_MOVIE_ID"].asUInt());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(push["UTF8_MOVIE_NAME"].asString(), m->title);
    EXPECT_EQ(push.isMember("ASC_BTSEED_URL"), m->fetchMethod == FetchMethod::kBitTorrent);
    bool suspense = false;
    for (int k : m->kinds) suspense |= k == 8;
    EXPECT_TRUE(suspense);
  }
  EXPECT_EQ(JsonGet("/api/v1/search?q=2099")["count"].asInt(), 0);
}

TEST_F(ApiRoutesTest, SettingsKeepPushMethodAndKinds) {
  ASSERT_EQ(Register("ida"), kMarker);
  Json::Value s = JsonGet("/api/v1/users/settings?username=ida");
  EXPECT_EQ(s["push_method"].asInt(), 0);  // not chosen yet
  s = JsonPost("/api/v1/users/kinds", {{"username", "ida"}, {"kinds", "1,喜剧"}});
  EXPECT_EQ(s["push_method"].asInt(), 2);
  ASSERT_EQ(s["kinds"].size(), 2u);
  EXPECT_EQ(s["kinds"][1]["name"].asString(), "喜剧");
  s = JsonPost("/api/v1/users/push_method", {{"username", "ida"}, {"method", "1"}});
  EXPECT_EQ(s["push_method"].asInt(), 1);
  EXPECT_EQ(s["kinds"].size(), 2u);
  EXPECT_EQ(JsonGet("/api/v1/kinds")["kinds"].size(), 12u);
}

TEST_F(ApiRoutesTest, MovieDetailsCarryRatingsAndComments) {
  ASSERT_EQ(Register("jon"), kMarker);
  ASSERT_EQ(Register("kim"), kMarker);
  ASSERT_EQ(Rate("jon", 4, 5, 0, "<b>好</b>"), kMarker);
  ASSERT_EQ(Rate("kim", 4, 2), kMarker);
  Json::Value d = JsonGet("/api/v1/movies/4");
  EXPECT_EQ(d["title"].asString(), Movies().Find(4)->title);
  EXPECT_EQ(d["rating_count"].asInt(), 2);
  EXPECT_DOUBLE_EQ(d["average_score"].asDouble(), 3.5);
  ASSERT_EQ(d["comments"].size(), 1u);
  EXPECT_EQ(d["comments"][0]["username"].asString(), "jon");
  std::string page = Body("/bulletin/4.html");
  EXPECT_NE(page.find("&lt;b&gt;好&lt;/b&gt;"), std::string::npos);
  EXPECT_EQ(page.find("<b>好"), std::string::npos);
}

TEST_F(ApiRoutesTest, BadRequestsGetJsonErrors) {
  ASSERT_EQ(Register("lee"), kMarker);
  struct Case {
    std::string path;
    int status;
  };
  const Case cases[] = {
      {"/api/v1/task", 400},
      {"/api/v1/task?username=lee&form=fast", 400},
      {"/api/v1/task?username=nobody", 404},
      {"/api/v1/task?username=%FF", 400},
      {"/api/v1/movies/0", 400},
      {"/api/v1/movies/99999", 404},
      {"/api/v1/search?q=", 400},
      {"/api/v1/search?q=a&limit=0", 400},
      {"/api/v1/users/find", 400},
  };
  for (const Case& c : cases) {
    Json::Value v = JsonGet(c.path, c.status);
    EXPECT_FALSE(v["error"].asString().empty()) << c.path;
  }
  EXPECT_FALSE(
      JsonPost("/api/v1/users/kinds", {{"username", "lee"}, {"kinds", "武侠"}}, 400)["error"]
          .asString()
          .empty());
  EXPECT_FALSE(
      JsonPost("/api/v1/users/push_method", {{"username", "lee"}, {"method", "3"}}, 400)["error"]
          .asString()
          .empty());
  EXPECT_FALSE(
      JsonPost("/api/v1/friends/follow", {{"username", "lee"}, {"friend", "lee"}}, 400)["error"]
          .asString()
          .empty());
  EXPECT_FALSE(JsonPost("/api/v1/push_now", {{"username", "lee"}, {"movie_id", "x"}}, 400)["error"]
                   .asString()
                   .empty());
  // Still serving after all that.
  EXPECT_EQ(JsonGet("/api/v1/status")["movies"].asInt(), 24);
}

}  // namespace
}  // namespace zenu::test
