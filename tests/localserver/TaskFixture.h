#pragma once
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <QDBusMessage>
#include <cstdlib>
#include <memory>

#include "tests/componentrig/ChildProcesses.h"
#include "tests/componentrig/RecordingOrvex.h"
#include "tests/componentrig/RigBasics.h"
#include "tests/componentrig/ServiceRequests.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/LoopbackHttpServer.h"

// A recording client on the bus, the component started and ready; the
// record database of the temporary program folder reads what command 37 brings.
class TaskTest : public StoreTest {
 protected:
  void SetUp() override {
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
      GTEST_SKIP() << "no session bus: run under dbus-run-session";
    }
    ASSERT_TRUE(orvex.Publish());
    m_bPublished = true;
  }
  void TearDown() override {
    local.reset();
    if (m_bPublished) orvex.Unpublish();
    svc.Stop();
  }

  // The reference service, then the component up to its ready command.
  void StartAll(int retryMs = 0, int movies = 30) {
    ASSERT_TRUE(svc.Start(home.Path() + "svc", 0, movies));
    StartComponent(svc.Port(), retryMs);
  }
  void StartComponent(int servicePort, int retryMs) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (retryMs > 0) {
      env.insert(QStringLiteral("VADEKO_TASK_RETRY_MS"), QString::number(retryMs));
    } else {
      env.remove(QStringLiteral("VADEKO_TASK_RETRY_MS"));
    }
    local = std::make_unique<CLocalServerProcess>();
    ASSERT_TRUE(local->Start(env));
    httpPort = CLoopbackHttpServer::UnusedPort();
    const std::string root = home.Path() + "root";
    ::mkdir(root.c_str(), 0755);
    const QDBusMessage reply = local->StartCommand(httpPort, servicePort, root, root);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    ASSERT_TRUE(WaitFor([&] { return orvex.commands.size() >= 2; }));
    ASSERT_EQ(orvex.Indexes(), (std::vector<int>{200, 100}));
    EXPECT_EQ(orvex.commands[0]["STR_IP"].asString(), "127.0.0.1");
  }
  void LoginAs(const std::string& user) {
    const QDBusMessage reply = local->Login(user, "/nonexistent/users/" + user + "/db.dat");
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
  }

  // GET /ReqTask?<query> on the component: status and parsed body.
  int ReqTask(const std::string& query, Json::Value& body) {
    httplib::Client http("127.0.0.1", httpPort);
    auto res = http.Get(("/ReqTask?" + query).c_str());
    if (!res) return -1;
    EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(res->body.size()));
    if (!ParseJson(res->body, body)) body = Json::Value(res->body);
    return res->status;
  }
  void ExpectAccepted(const std::string& query) {
    Json::Value body;
    ASSERT_EQ(ReqTask(query, body), 200) << query;
    ASSERT_TRUE(body.isArray()) << query;
    EXPECT_EQ(body[0].asInt(), 1) << query;
  }
  // Commands from `from` on, once one of `last` arrived (or after the time-out).
  std::vector<int> WaitEnd(size_t from, std::vector<int> last = {35, 36}, int ms = 15000) {
    WaitFor(
        [&] {
          for (int index : orvex.Indexes(from)) {
            for (int end : last) {
              if (index == end) return true;
            }
          }
          return false;
        },
        ms);
    return orvex.Indexes(from);
  }
  // One request and the commands it drove, up to 35 or 36.
  std::vector<int> Cycle(const std::string& query) {
    m_cycleStart = orvex.commands.size();
    ExpectAccepted(query);
    return WaitEnd(m_cycleStart);
  }
  // The media info of the last cycle's 37 as the client stores it (UTF-8 to
  // GBK, then the record database); the ids it added.
  CGIDList StoreLastCycle() {
    const std::vector<Json::Value> infos = orvex.Of(37, m_cycleStart);
    EXPECT_EQ(infos.size(), 1u);
    if (infos.empty()) return {};
    CString text = infos.back()["STR_MEDIA_INFO"].asString();
    ConvertUtf8ToGBK(text);
    CGIDList added;
    CIntfDB::GetInstance()->AddPushedRecord(text, Saveas(), &added);
    return added;
  }

  CRecordingOrvex orvex;
  CServiceProcess svc;
  std::unique_ptr<CLocalServerProcess> local;
  int httpPort = 0;

  static constexpr const char* kNormal = "strAction=StartReqTask&strType=normal";
  static constexpr const char* kQuick = "strAction=StartReqTask&strType=quick";
  static constexpr const char* kNewUser = "strAction=ReqNewMov&strType=NewUser";
  static constexpr const char* kOldUser = "strAction=ReqNewMov&strType=OldUser";

 private:
  bool m_bPublished = false;
  size_t m_cycleStart = 0;
};

using Indexes = std::vector<int>;
