// The task request against a service that misbehaves: refusals, broken
// answers, slowness and hangs, served by a scripted loopback service.
#include <QElapsedTimer>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "tests/localserver/TaskFixture.h"

namespace {
// /api/v1/task answered from a script, one entry per request (the last repeats).
class CScriptedService {
 public:
  struct SAnswer {
    int iStatus;
    std::string strBody;
  };
  explicit CScriptedService(std::vector<SAnswer> script, int delayMs = 0)
      : m_script(std::move(script)), m_delayMs(delayMs) {
    m_server.Server().Get(
        "/api/v1/task", [this](const httplib::Request& req, httplib::Response& res) {
          const int now = ++m_running;
          int seen = m_maxRunning.load();
          while (now > seen && !m_maxRunning.compare_exchange_weak(seen, now)) {
          }
          std::unique_lock<std::mutex> lock(m_mutex);
          m_requests.push_back(req.get_param_value("username") + "/" + req.get_param_value("form"));
          const SAnswer answer = m_script[std::min(m_requests.size(), m_script.size()) - 1];
          if (m_bHang)
            m_release.wait_for(lock, std::chrono::seconds(60), [this] { return !m_bHang; });
          lock.unlock();
          if (m_delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
          res.status = answer.iStatus;
          res.set_content(answer.strBody, "application/json");
          --m_running;
        });
  }
  ~CScriptedService() {
    Release();
    m_server.Stop();
  }
  bool Start() { return m_server.Start(); }
  int Port() const { return m_server.Port(); }
  void Hang() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bHang = true;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_bHang = false;
    }
    m_release.notify_all();
  }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
  }
  int MaxRunning() const { return m_maxRunning; }

 private:
  CLoopbackHttpServer m_server;
  std::vector<SAnswer> m_script;
  int m_delayMs;
  std::mutex m_mutex;
  std::condition_variable m_release;
  bool m_bHang = false;
  std::vector<std::string> m_requests;
  std::atomic<int> m_running{0};
  std::atomic<int> m_maxRunning{0};
};

const char* const kMovieDoc =
    R"({"status": "ok", "count": 1, "movies": [{"id": 7, "expect_eval": 4.0}],)"
    R"( "media_info": "<?xml version=\"1.0\"?><media_info><movie gid=\"7\" file_name=\"m7.bin\")"
    R"( task_display_name=\"Seven\" size=\"5M\" fetch_method=\"1\"/></media_info>"})";
}  // namespace

TEST_F(TaskTest, RefusalsAndBrokenAnswersEndTheCalculationWithoutCrash) {
  CScriptedService service({{404, R"({"error": "unknown user gina"})"},
                            {500, "oops"},
                            {200, "not json"},
                            {200, R"({"status": "ok", "count": 1})"},
                            {200, R"({"status": "thinking"})"},
                            {200, "[1, 2]"},
                            {200, R"({"status": "ok", "media_info": 7})"},
                            {200, kMovieDoc}});
  ASSERT_TRUE(service.Start());
  StartComponent(service.Port(), 60000);
  LoginAs("gina");
  // The service refused: connection state, and the calculating page ends.
  EXPECT_EQ(Cycle(kNormal), (Indexes{32, 33, 35}));
  // Its own trouble: state only, a retry follows (the next request replaces it).
  size_t from = orvex.commands.size();
  ExpectAccepted(kQuick);
  ASSERT_TRUE(WaitFor([&] { return orvex.Of(33, from).size() == 1; }));
  Pump(200);
  EXPECT_EQ(orvex.Indexes(from), (Indexes{32, 33}));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Cycle(kNormal), (Indexes{32, 33, 35})) << i;
  // Still serving, and a good answer goes through.
  EXPECT_EQ(Cycle(kOldUser), (Indexes{32, 34, 37, 35}));
  EXPECT_NE(orvex.Of(37).back()["STR_MEDIA_INFO"].asString().find("gid=\"7\""), std::string::npos);
  const std::vector<std::string> seen = service.Requests();
  ASSERT_EQ(seen.size(), 8u);
  EXPECT_EQ(seen[0], "gina/normal");
  EXPECT_EQ(seen[1], "gina/quick");
  EXPECT_EQ(seen[7], "gina/OldUser");
}

TEST_F(TaskTest, OneRequestAtATimeInArrivalOrder) {
  CScriptedService service({{200, kMovieDoc}}, 200);
  service.Hang();  // the first request stays open until all four are in
  ASSERT_TRUE(service.Start());
  StartComponent(service.Port(), 60000);
  LoginAs("hank");
  const size_t from = orvex.commands.size();
  ExpectAccepted(kNewUser);
  ExpectAccepted(kQuick);
  ExpectAccepted(kQuick);  // the same request already waiting: not asked twice
  ExpectAccepted(kNormal);
  service.Release();
  ASSERT_TRUE(WaitFor([&] { return orvex.Of(35, from).size() == 3; }));
  Pump(700);
  EXPECT_EQ(orvex.Indexes(from), (Indexes{32, 34, 37, 35, 32, 34, 37, 35, 32, 34, 37, 35}));
  EXPECT_EQ(service.Requests(),
            (std::vector<std::string>{"hank/NewUser", "hank/quick", "hank/normal"}));
  EXPECT_EQ(service.MaxRunning(), 1);
}

TEST_F(TaskTest, AnotherUserLoggingInDropsTheFirstUsersWork) {
  CScriptedService service({{200, kMovieDoc}});
  service.Hang();
  ASSERT_TRUE(service.Start());
  StartComponent(service.Port(), 60000);
  LoginAs("ivan");
  const size_t from = orvex.commands.size();
  ExpectAccepted(kNormal);
  ExpectAccepted(kQuick);
  ASSERT_TRUE(WaitFor([&] { return service.Requests().size() == 1; }));
  LoginAs("jane");
  service.Release();
  Pump(1000);
  // ivan's movies are not handed to jane's session; his waiting request is gone.
  EXPECT_EQ(orvex.Indexes(from), (Indexes{32}));
  EXPECT_EQ(service.Requests(), (std::vector<std::string>{"ivan/normal"}));
  EXPECT_EQ(Cycle(kNormal), (Indexes{32, 34, 37, 35}));
  EXPECT_EQ(service.Requests().back(), "jane/normal");
}

TEST_F(TaskTest, StopCutsOffAServiceThatHangs) {
  CScriptedService service({{200, kMovieDoc}});
  service.Hang();
  ASSERT_TRUE(service.Start());
  StartComponent(service.Port(), 60000);
  LoginAs("kate");
  const size_t from = orvex.commands.size();
  ExpectAccepted(kNormal);
  ASSERT_TRUE(WaitFor([&] { return service.Requests().size() == 1; }));
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(local->StopCommand().type(), QDBusMessage::ReplyMessage);
  EXPECT_TRUE(local->WaitExit(5000));
  EXPECT_LT(clock.elapsed(), 3000);
  EXPECT_EQ(local->Process().exitCode(), 0);
  service.Release();
  Pump(300);
  EXPECT_EQ(orvex.Indexes(from), (Indexes{32}));
}
