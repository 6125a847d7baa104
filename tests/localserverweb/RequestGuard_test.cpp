#include "RequestGuard.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include "BulletinHtml.h"

namespace {
using Hdr = std::pair<std::string, std::string>;
const std::string kSecret = "0123456789abcdef0123456789abcdef";

httplib::Request Req(const std::string& method, const httplib::Headers& headers) {
  httplib::Request req;
  req.method = method;
  req.path = "/api/rate";
  req.local_port = 4321;
  req.headers = headers;
  return req;
}

httplib::Request Action(httplib::Headers headers) {
  headers.emplace("Content-Type", "application/json");
  if (!headers.count("X-Vadeko-Token")) headers.emplace("X-Vadeko-Token", kSecret);
  return Req("POST", headers);
}
}  // namespace

TEST(RequestGuard, HostMustBeLoopbackWithOurPort) {
  EXPECT_TRUE(IsLoopbackHost("127.0.0.1:4321", 4321));
  EXPECT_TRUE(IsLoopbackHost("LocalHost:4321", 4321));
  EXPECT_FALSE(IsLoopbackHost("127.0.0.1:4322", 4321));
  EXPECT_FALSE(IsLoopbackHost("127.0.0.1", 4321));
  EXPECT_FALSE(IsLoopbackHost("evil.example:4321", 4321));
  EXPECT_FALSE(IsLoopbackHost("127.0.0.1:4321.evil.example", 4321));
  EXPECT_FALSE(IsLoopbackHost("", 4321));

  EXPECT_TRUE(CheckHostAndOrigin(Req("GET", {{"Host", "127.0.0.1:4321"}})).bAllowed);
  const SGuardVerdict rebound = CheckHostAndOrigin(Req("GET", {{"Host", "rebind.example:4321"}}));
  EXPECT_FALSE(rebound.bAllowed);
  EXPECT_EQ(rebound.iStatus, 403);
  EXPECT_EQ(rebound.strCode, "bad_host");
  EXPECT_EQ(CheckHostAndOrigin(Req("GET", {})).strCode, "bad_host");
  EXPECT_EQ(CheckHostAndOrigin(Req("GET", {{"Host", "127.0.0.1:4321"}, {"Host", "evil:4321"}})).strCode,
            "bad_host");
}

TEST(RequestGuard, ForeignOriginsSitesAndReferersAreRefused) {
  const Hdr host{"Host", "127.0.0.1:4321"};
  EXPECT_TRUE(CheckHostAndOrigin(Req("GET", {host, {"Origin", "http://localhost:4321"}})).bAllowed);
  EXPECT_TRUE(CheckHostAndOrigin(Req("GET", {host, {"Sec-Fetch-Site", "none"}})).bAllowed);
  EXPECT_TRUE(CheckHostAndOrigin(Req("GET", {host, {"Sec-Fetch-Site", "same-origin"}})).bAllowed);
  EXPECT_TRUE(
      CheckHostAndOrigin(Req("GET", {host, {"Referer", "http://127.0.0.1:4321/search_home.html"}}))
          .bAllowed);

  for (const Hdr& foreign :
       {Hdr{"Origin", "http://evil.example"},
        Hdr{"Origin", "null"},
        Hdr{"Origin", "http://127.0.0.1:9999"},
        Hdr{"Origin", "https://127.0.0.1:4321"},
        Hdr{"Sec-Fetch-Site", "cross-site"},
        Hdr{"Sec-Fetch-Site", "same-site"},
        Hdr{"Referer", "http://evil.example/page?x=http://127.0.0.1:4321/"},
        Hdr{"Referer", "http://127.0.0.1:4321.evil.example/"}}) {
    const SGuardVerdict verdict = CheckHostAndOrigin(Req("GET", {host, foreign}));
    EXPECT_FALSE(verdict.bAllowed) << foreign.first << ": " << foreign.second;
    EXPECT_EQ(verdict.strCode, "cross_origin") << foreign.second;
  }
}

TEST(RequestGuard, ActionsNeedPostJsonAndTheRunSecret) {
  const Hdr host{"Host", "127.0.0.1:4321"};
  EXPECT_TRUE(CheckPageAction(Action({host}), kSecret).bAllowed);
  EXPECT_EQ(CheckPageAction(Req("GET", {host, {"X-Vadeko-Token", kSecret}}), kSecret).iStatus, 405);
  httplib::Request form = Action({host});
  form.headers.erase("Content-Type");
  form.headers.emplace("Content-Type", "application/x-www-form-urlencoded");
  EXPECT_EQ(CheckPageAction(form, kSecret).iStatus, 415);
  httplib::Request noToken = Action({host});
  noToken.headers.erase("X-Vadeko-Token");
  EXPECT_EQ(CheckPageAction(noToken, kSecret).strCode, "bad_token");
  EXPECT_EQ(CheckPageAction(Action({host, {"X-Vadeko-Token", "0123456789abcdef0123456789abcdeF"}}),
                            kSecret)
                .strCode,
            "bad_token");
  // Without a secret nothing passes, not even an empty header.
  EXPECT_FALSE(CheckPageAction(Action({host, {"X-Vadeko-Token", ""}}), "").bAllowed);
  // Host and origin come first.
  EXPECT_EQ(CheckPageAction(Action({{"Host", "evil:4321"}}), kSecret).strCode, "bad_host");
  EXPECT_EQ(CheckPageAction(Action({host, {"Origin", "http://evil.example"}}), kSecret).strCode,
            "cross_origin");
}

TEST(RequestGuard, SecretsAreRandomHex) {
  const std::string a = MakeRunSecret();
  const std::string b = MakeRunSecret();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(a, b);
  EXPECT_TRUE(SecretEquals(a, a));
  EXPECT_FALSE(SecretEquals(a, a.substr(0, 31)));
}

TEST(BulletinHtml, ServiceTextIsEscapedAndThunderOnlyPagesCarryTheirLink) {
  Json::Value movie;
  movie["id"] = 9;
  movie["title"] = "<script>alert(1)</script>";
  movie["year"] = 2010;
  movie["description"] = "a \"quoted\" & 'odd' text";
  movie["fetch_method"] = 5;
  movie["fetch_url"] = "thunder://QUFodHRwOi8vZXhhbXBsZS9hWlo=\"><x";
  movie["rating_count"] = 2;
  movie["average_score"] = 4.5;
  Json::Value comment;
  comment["username"] = "<b>bob</b>";
  comment["score"] = 5;
  comment["comment"] = "<img src=x onerror=alert(1)>";
  movie["comments"].append(comment);
  const std::string html = RenderBulletin(movie, "tok");
  EXPECT_EQ(html.find("<script>alert"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_EQ(html.find("<img src=x"), std::string::npos);
  EXPECT_EQ(html.find("<b>bob"), std::string::npos);
  EXPECT_NE(html.find("data-fetch-method=\"5\""), std::string::npos);
  EXPECT_NE(html.find("data-fetch-url=\"thunder://QUFodHRwOi8vZXhhbXBsZS9hWlo=&quot;&gt;&lt;x\""),
            std::string::npos);
  EXPECT_NE(html.find("content=\"tok\""), std::string::npos);
  // Only the download manager's button for such a movie.
  EXPECT_EQ(html.find("btnDownload"), std::string::npos);
  EXPECT_NE(html.find("btnThunder"), std::string::npos);

  movie["fetch_method"] = 1;
  const std::string bt = RenderBulletin(movie, "tok");
  EXPECT_EQ(bt.find("data-fetch-url"), std::string::npos);
  EXPECT_NE(bt.find("btnDownload"), std::string::npos);
  for (int s = 1; s <= 5; ++s) {
    EXPECT_NE(bt.find("id=\"score" + std::to_string(s) + "\""), std::string::npos);
  }
}
