#include <filesystem>
#include <fstream>

#include "CatalogueGenerator.h"
#include "ServiceFixture.h"

namespace zenu::test {
namespace {

class ClientRoutesTest : public ServiceFixture {};

TEST_F(ClientRoutesTest, RegisterThenDuplicateName) {
  EXPECT_EQ(Register("alice"), kMarker);
  EXPECT_EQ(Register("alice", "ffffffffffffffffffffffffffffffff"), "User Exist");
  EXPECT_EQ(Register("alice2"), kMarker);
}

TEST_F(ClientRoutesTest, LoginNeedsTheRegisteredDigest) {
  ASSERT_EQ(Register("bob"), kMarker);
  EXPECT_EQ(Login("bob"), kMarker);
  EXPECT_EQ(Login("bob", "ffffffffffffffffffffffffffffffff"), "Username Error");
  EXPECT_EQ(Login("nobody"), "Username Error");
}

TEST_F(ClientRoutesTest, DigestComparisonIgnoresHexCase) {
  ASSERT_EQ(Register("carol", "ABCDEF0123456789ABCDEF0123456789"), kMarker);
  EXPECT_EQ(Login("carol", "abcdef0123456789abcdef0123456789"), kMarker);
}

TEST_F(ClientRoutesTest, GbkNameRegistersAndLogsIn) {
  const std::string name = *GbkText::FromUtf8("张三");
  ASSERT_EQ(Register(name), kMarker);
  EXPECT_EQ(Login(name), kMarker);
  EXPECT_EQ(Login(*GbkText::FromUtf8("张四")), "Username Error");
  auto stored = GetStore().FindUser(name);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->name, name);  // raw GBK bytes, not UTF-8
}

TEST_F(ClientRoutesTest, RatingReportDecodesTheNameTwiceAndStoresEverything) {
  const std::string name = *GbkText::FromUtf8("李 四");
  ASSERT_EQ(Register(name), kMarker);
  EXPECT_EQ(Rate(name, 3, 4, 1, "好看的电影 & 推荐"), kMarker);
  auto user = GetStore().FindUser(name);
  ASSERT_TRUE(user);
  auto ratings = GetStore().RatingsOfUser(user->id);
  ASSERT_EQ(ratings.size(), 1u);
  EXPECT_EQ(ratings[0].movieId, 3u);
  EXPECT_EQ(ratings[0].score, 4);
  EXPECT_TRUE(ratings[0].recommendAll);
  EXPECT_EQ(ratings[0].comment, "好看的电影 & 推荐");
  // A second report of the same movie replaces the first.
  EXPECT_EQ(Rate(name, 3, 2), kMarker);
  ratings = GetStore().RatingsOfUser(user->id);
  ASSERT_EQ(ratings.size(), 1u);
  EXPECT_EQ(ratings[0].score, 2);
  EXPECT_FALSE(ratings[0].recommendAll);
}

TEST_F(ClientRoutesTest, RatingOfUnknownUserOrMovieIsRefusedWithoutMarker) {
  ASSERT_EQ(Register("dave"), kMarker);
  auto res = Get("/urls/UserReportStatus?username=ghost&eval=1,5&iIsRmdAllFriend=0");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
  EXPECT_EQ(res->body.find(kMarker), std::string::npos);
  res = Get("/urls/UserReportStatus?username=dave&eval=99999,5&iIsRmdAllFriend=0");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
}

TEST_F(ClientRoutesTest, MalformedRequestsAreRejectedWith400AndAMessage) {
  ASSERT_EQ(Register("erin"), kMarker);
  const char* bad[] = {
      "/urls/UserLogin?md5_passwd=0123456789abcdef0123456789abcdef&version=172",
      "/urls/UserLogin?username=erin&md5_passwd=xyz&version=172",
      "/urls/UserLogin?username=erin&md5_passwd=0123456789abcdef0123456789abcdef&version=abc",
      "/urls/UserRegister?username=&md5_passwd=0123456789abcdef0123456789abcdef&action=add",
      "/urls/UserRegister?username=x&md5_passwd=0123456789abcdef0123456789abcdef&action=del",
      "/urls/UserReportStatus?username=erin&eval=3&iIsRmdAllFriend=0",
      "/urls/UserReportStatus?username=erin&eval=3,6&iIsRmdAllFriend=0",
      "/urls/UserReportStatus?username=erin&eval=x,5&iIsRmdAllFriend=0",
      "/urls/UserReportStatus?username=erin&eval=3,5&iIsRmdAllFriend=7",
      "/urls/UserReportStatus?username=%25ZZerin&eval=3,5&iIsRmdAllFriend=0",
      "/urls/UserReportStatus?username=erin&eval=3,5&iIsRmdAllFriend=0&utf8Comment=%FF%FE",
      "/bulletin/0.html",
  };
  for (const char* path : bad) {
    auto res = Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 400) << path;
    EXPECT_FALSE(res->body.empty()) << path;
    EXPECT_EQ(res->body.find(kMarker), std::string::npos) << path;
  }
  EXPECT_TRUE(GetStore().RatingsOfUser(GetStore().FindUser("erin")->id).empty());
}

TEST_F(ClientRoutesTest, EveryAnswerCarriesContentLength) {
  for (const char* path :
       {"/urls/UserLogin?username=a&md5_passwd=0123456789abcdef0123456789abcdef",
        "/update_info/zenu/update.ini", "/bulletin/1.html", "/no/such/page", "/urls/UserLogin"}) {
    auto res = Get(path);
    ASSERT_TRUE(res) << path;
    ASSERT_TRUE(res->has_header("Content-Length")) << path;
    EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(res->body.size()));
    EXPECT_GT(res->body.size(), 0u) << path;
    EXPECT_FALSE(res->has_header("Transfer-Encoding")) << path;
  }
}

// The client's key search: first "key=" anywhere, value up to the line feed.
std::string IniValue(const std::string& text, const std::string& key) {
  size_t at = text.find(key + "=");
  if (at == std::string::npos) return "<missing>";
  at += key.size() + 1;
  return text.substr(at, text.find('\n', at) - at);
}

TEST_F(ClientRoutesTest, UpdateDescriptionHasTheSixKeysInGbk) {
  std::string text = Body("/update_info/zenu/update.ini");
  EXPECT_EQ(IniValue(text, "NewVersionInternal"), "172");
  EXPECT_EQ(IniValue(text, "NewVersionDisplay"), *GbkText::FromUtf8("Vadeko2012冬季版"));
  EXPECT_NE(IniValue(text, "NewVersionFunction"), "<missing>");
  EXPECT_EQ(IniValue(text, "AbandonVersionInternal"), "100");
  EXPECT_NE(IniValue(text, "AbandonVersionDisplay"), "<missing>");
  EXPECT_EQ(IniValue(text, "UpdateUrl").rfind("http://", 0), 0u);
  EXPECT_EQ(text.find('\r'), std::string::npos);
}

class NewerVersionTest : public ServiceFixture {
 protected:
  void Configure(ServiceConfig& config) override {
    std::string path = dir_ + "/update.conf";
    std::ofstream(path) << "# retired client\nnew-version = 180\n"
                        << "new-version-display = Vadeko2013春季版\n"
                        << "abandon-version=172\nupdate-url = http://example.org/get\n";
    config.LoadFile(path);
  }
};

TEST_F(NewerVersionTest, ConfigFileValuesAreServed) {
  std::string text = Body("/update_info/zenu/update.ini");
  EXPECT_EQ(IniValue(text, "NewVersionInternal"), "180");
  EXPECT_EQ(IniValue(text, "NewVersionDisplay"), *GbkText::FromUtf8("Vadeko2013春季版"));
  EXPECT_EQ(IniValue(text, "AbandonVersionInternal"), "172");
  EXPECT_EQ(IniValue(text, "UpdateUrl"), "http://example.org/get");
}

TEST(ServiceConfigTest, CommandLineIsParsedAndBadValuesRefused) {
  auto config = ServiceConfig::FromArguments(
      {"--host", "0.0.0.0", "--port=9000", "--data", "/tmp/x", "--abandon-version", "172"});
  EXPECT_EQ(config.host, "0.0.0.0");
  EXPECT_EQ(config.port, 9000);
  EXPECT_EQ(config.dataDir, "/tmp/x");
  EXPECT_EQ(config.update.abandonVersion, 172);
  EXPECT_THROW(ServiceConfig::FromArguments({"--port", "x"}), std::invalid_argument);
  EXPECT_THROW(ServiceConfig::FromArguments({"--port", "70000"}), std::invalid_argument);
  EXPECT_THROW(ServiceConfig::FromArguments({"--bogus", "1"}), std::invalid_argument);
  EXPECT_THROW(ServiceConfig::FromArguments({"--port"}), std::invalid_argument);

  config = ServiceConfig::FromArguments(
      {"--library", "/a", "--scan", "--library=/b c", "--rescan-minutes", "0", "retire", "7"});
  EXPECT_EQ(config.libraries, (std::vector<std::string>{"/a", "/b c"}));
  EXPECT_TRUE(config.scanOnly);
  EXPECT_EQ(config.rescanMinutes, 0);
  EXPECT_EQ(config.command, (std::vector<std::string>{"retire", "7"}));
  EXPECT_THROW(ServiceConfig::FromArguments({"--rescan-minutes", "-1"}), std::invalid_argument);

  // Every URL carries the public host: it must be one a client can reach and nothing else.
  EXPECT_EQ(ServiceConfig::FromArguments({"--host", "10.0.0.5"}).PublicHost(), "10.0.0.5");
  EXPECT_THROW(ServiceConfig::FromArguments({"--host", "0.0.0.0"}).PublicHost(),
               std::invalid_argument);
  for (const char* good : {"films.example.org", "192.168.1.5", "[fd00::5]"}) {
    EXPECT_EQ(
        ServiceConfig::FromArguments({"--host", "0.0.0.0", "--public-host", good}).PublicHost(),
        good);
  }
  for (const char* bad : {"http://x", "x:8088", "x/y", "a b", "x\"><script>", "fd00::5", "-x"}) {
    EXPECT_THROW(ServiceConfig::FromArguments({"--public-host", bad}).PublicHost(),
                 std::invalid_argument)
        << bad;
  }

  // Behind a proxy, or with its own certificate, the URLs name https.
  config = ServiceConfig::FromArguments(
      {"--host", "0.0.0.0", "--public-host", "x", "--public-url", "https://films.example.org/"});
  EXPECT_EQ(config.PublicHost(), "films.example.org");
  EXPECT_EQ(config.PublicScheme(), "https");
  EXPECT_EQ(config.PublicPort(), 0);
  config = ServiceConfig::FromArguments({"--public-url", "HTTPS://[fd00::5]:8443"});
  EXPECT_EQ(config.PublicHost(), "[fd00::5]");
  EXPECT_EQ(config.PublicPort(), 8443);
  EXPECT_EQ(ServiceConfig::FromArguments({"--tls-cert", "c", "--tls-key", "k"}).PublicScheme(),
            "https");
  EXPECT_EQ(ServiceConfig::FromArguments({}).PublicScheme(), "http");
  for (const char* bad : {"films.example.org", "ftp://x", "https://x/zenu", "https://x:0",
                          "https://x:99999", "https://u@x", "https://"}) {
    EXPECT_THROW(ServiceConfig::FromArguments({"--public-url", bad}).PublicHost(),
                 std::invalid_argument)
        << bad;
  }
  // Listening beyond loopback, a loopback public URL sends every client to itself.
  EXPECT_THROW(
      ServiceConfig::FromArguments({"--host", "0.0.0.0", "--public-url", "https://127.0.0.1"})
          .PublicHost(),
      std::invalid_argument);
  EXPECT_THROW(ServiceConfig::FromArguments({"--tls-cert", "c"}).CheckTls(), std::invalid_argument);
}

TEST_F(ClientRoutesTest, RangesOutsideTheFileAre416AndOthersArePartial) {
  const Movie* movie = nullptr;
  for (const Movie& m : service_->Context().catalogue.Get()->All()) {
    if (m.hasContent) movie = &m;
  }
  ASSERT_NE(movie, nullptr);
  const std::string path = "/content/" + std::to_string(movie->id) + "/" + movie->fileName;
  const size_t size = std::filesystem::file_size(
      CatalogueGenerator::ContentPath(service_->Context().config.dataDir, *movie));
  auto ranged = [&](const std::string& range) {
    return client_->Get(path.c_str(), httplib::Headers{{"Range", range}});
  };
  for (const std::string& range :
       {std::string("bytes=9999999-"), "bytes=" + std::to_string(size) + "-",
        std::string("bytes=5-2"), std::string("bytes=-0"), std::string("bytes=x")}) {
    auto res = ranged(range);
    ASSERT_TRUE(res) << range;
    EXPECT_EQ(res->status, 416) << range;
    // The library refuses the malformed ones itself, without the size.
    if (range.find('x') == std::string::npos && range != "bytes=5-2") {
      EXPECT_EQ(res->get_header_value("Content-Range"), "bytes */" + std::to_string(size)) << range;
    }
    EXPECT_LE(res->get_header_value_count("Content-Range"), 1u) << range;
    EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(res->body.size())) << range;
  }
  auto head = ranged("bytes=0-9");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 206);
  EXPECT_EQ(head->body.size(), 10u);
  auto tail = ranged("bytes=-5");
  ASSERT_TRUE(tail);
  EXPECT_EQ(tail->status, 206);
  EXPECT_EQ(tail->body.size(), 5u);
  // Several ranges get the first one alone, with its one correct Content-Range.
  for (const std::string& range : {std::string("bytes=0-,0-"), std::string("bytes=2-4, 7-9")}) {
    auto several = ranged(range);
    ASSERT_TRUE(several) << range;
    EXPECT_EQ(several->status, 206) << range;
    EXPECT_EQ(several->get_header_value_count("Content-Range"), 1u) << range;
    const bool open = range == "bytes=0-,0-";
    EXPECT_EQ(several->get_header_value("Content-Range"),
              open ? "bytes 0-" + std::to_string(size - 1) + "/" + std::to_string(size)
                   : "bytes 2-4/" + std::to_string(size))
        << range;
    EXPECT_EQ(several->body.size(), open ? size : 3u) << range;
  }
  auto last = ranged("bytes=" + std::to_string(size - 1) + "-");
  ASSERT_TRUE(last);
  EXPECT_EQ(last->status, 206);
  EXPECT_EQ(last->body.size(), 1u);
}

}  // namespace
}  // namespace zenu::test
