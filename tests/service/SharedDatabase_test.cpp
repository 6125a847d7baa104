// Two real service processes on one PostgreSQL database behave as one service.
#include <gtest/gtest.h>
#include <httplib.h>
#include <json/reader.h>
#include <json/value.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "PgCluster.h"
#include "ServiceProcess.h"
#include "Store.h"

namespace zenu::test {
namespace {

constexpr const char* kMarker = "5B1E09C4-73AF-4d2e-9C81-E2F04A6B1D37 OK";
constexpr const char* kDigest = "0123456789abcdef0123456789abcdef";

class Node final {
 public:
  explicit Node(int port) : client_("127.0.0.1", port) {
    client_.set_url_encode(false);
    client_.set_read_timeout(30, 0);
  }
  std::string Get(const std::string& path) {
    auto res = client_.Get(path.c_str());
    return res && res->status == 200 ? res->body : "HTTP failure on " + path;
  }
  std::string Register(const std::string& name) {
    return Get("/urls/UserRegister?username=" + name + "&md5_passwd=" + kDigest +
               "&action=add&iVersion=172");
  }
  std::string Login(const std::string& name) {
    return Get("/urls/UserLogin?username=" + name + "&md5_passwd=" + kDigest + "&version=172");
  }
  std::string Rate(const std::string& name, uint32_t movie, int score) {
    return Get("/urls/UserReportStatus?username=" + name + "&eval=" + std::to_string(movie) + "," +
               std::to_string(score) + "&iIsRmdAllFriend=0");
  }
  // The movies a task request pushed, with their predictions.
  std::vector<std::pair<uint32_t, double>> Task(const std::string& name, const char* form) {
    Json::Value v;
    Json::CharReaderBuilder builder;
    std::string body = Get("/api/v1/task?username=" + name + "&form=" + form), errors;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    reader->parse(body.data(), body.data() + body.size(), &v, &errors);
    std::vector<std::pair<uint32_t, double>> out;
    for (const Json::Value& m : v["movies"]) {
      out.push_back({m["id"].asUInt(), m["expect_eval"].asDouble()});
    }
    return out;
  }

 private:
  httplib::Client client_;
};

TEST(SharedDatabaseTest, TwoProcessesOnOnePostgresqlActAsOneService) {
  PgCluster cluster;
  if (!cluster.Ready()) GTEST_SKIP() << "PostgreSQL: " << cluster.WhyNot();
  char pattern[] = "/tmp/zenu-shared-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string data = pattern;
  const std::vector<std::string> common = {"--database",     cluster.Url(), "--data",         data,
                                           "--port",         "0",           "--demo-movies",  "60",
                                           "--demo-min-kib", "4",           "--demo-max-kib", "8"};
  // The first one makes the catalogue; the second finds it there.
  ServiceProcess a(common);
  Node nodeA(a.WaitForPort());
  ServiceProcess b(common);
  Node nodeB(b.WaitForPort());

  EXPECT_EQ(nodeA.Register("ann"), kMarker);
  EXPECT_EQ(nodeB.Register("ann"), "User Exist");
  EXPECT_EQ(nodeB.Login("ann"), kMarker);

  // Ratings given to B move the predictions of A: a movie that many rate 5 comes first for
  // a newcomer, one they rate 1 is not pushed at all.
  constexpr uint32_t kLoved = 60, kHated = 59;
  for (int u = 0; u < 20; ++u) {
    const std::string name = "rater" + std::to_string(u);
    ASSERT_EQ(nodeB.Register(name), kMarker);
    ASSERT_EQ(nodeB.Rate(name, kLoved, 5), kMarker);
    ASSERT_EQ(nodeB.Rate(name, kHated, 1), kMarker);
  }
  ASSERT_EQ(nodeA.Register("newcomer"), kMarker);
  // A refreshes every 2 s; asking pushes, so ask once, well after that.
  std::this_thread::sleep_for(std::chrono::seconds(6));
  auto pushed = nodeA.Task("newcomer", "quick");
  ASSERT_FALSE(pushed.empty());
  EXPECT_EQ(pushed[0].first, kLoved) << "A did not take up B's ratings";
  EXPECT_GT(pushed[0].second, 4.0);
  for (const auto& p : pushed) EXPECT_NE(p.first, kHated);

  // Requests of one user to both processes at once never push a movie twice.
  std::mutex mutex;
  std::multiset<uint32_t> delivered;
  std::vector<std::thread> askers;
  for (int t = 0; t < 8; ++t) {
    askers.emplace_back([&, t] {
      Node& node = t % 2 ? nodeA : nodeB;
      for (int i = 0; i < 3; ++i) {
        for (const auto& p : node.Task("ann", "quick")) {
          std::lock_guard<std::mutex> lock(mutex);
          delivered.insert(p.first);
        }
      }
    });
  }
  for (auto& t : askers) t.join();
  EXPECT_GE(delivered.size(), 30u);
  for (uint32_t id : delivered) EXPECT_EQ(delivered.count(id), 1u) << "movie " << id;

  // 2 x 200 ratings of one movie at once, half to each process: none lost.
  for (int u = 0; u < 200; ++u) {
    ASSERT_EQ((u % 2 ? nodeA : nodeB).Register("fan" + std::to_string(u)), kMarker);
  }
  std::atomic<int> refused{0};
  std::vector<std::thread> raters;
  for (int t = 0; t < 8; ++t) {
    raters.emplace_back([&, t] {
      Node mine(t % 2 ? a.WaitForPort() : b.WaitForPort());
      for (int u = t; u < 200; u += 8) {
        const std::string name = "fan" + std::to_string(u);
        if (mine.Rate(name, 7, 1 + u % 5) != kMarker) ++refused;
        if (mine.Rate(name, 8, 5 - u % 5) != kMarker) ++refused;
      }
    });
  }
  for (auto& t : raters) t.join();
  EXPECT_EQ(refused.load(), 0);
  Store store(cluster.Url(), 1);
  auto fans = [&](uint32_t movie) {
    size_t n = 0;
    for (const RatingRecord& r : store.RatingsOfMovie(movie, 1000)) {
      n += store.FindUserById(r.userId)->name.rfind("fan", 0) == 0;
    }
    return n;
  };
  EXPECT_EQ(fans(7), 200u);
  EXPECT_EQ(fans(8), 200u);
  EXPECT_EQ(store.SchemaVersion(), Store::LatestSchemaVersion());
  std::filesystem::remove_all(data);
}

}  // namespace
}  // namespace zenu::test
