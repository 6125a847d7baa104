#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <cstdlib>
#include <fstream>

#include "app/COMB.h"
#include "app/MainDoc.h"
#include "platform/qt/DBusAutomation.h"
#include "platform/qt/QtMessageLoop.h"
#include "tests/app/RecordingLinks.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ProcessState.h"
#include "tests/support/TempHome.h"
#include "zenuModule/src/IntfHttpReq.h"
#include "zenuModule/src/IntfScheduleControl.h"
#include "zenuModule/src/IntfUpdateControl.h"
#include "zenuModule/src/PortSelect.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
const QString kLocalServer = QStringLiteral("zenu.LocalServer");

uint OwnerPid(const QString& name) {
  const QDBusReply<uint> pid = QDBusConnection::sessionBus().interface()->servicePid(name);
  return pid.isValid() ? pid.value() : 0;
}

bool NameOwned(const QString& name) {
  return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
}

class LocalServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
      GTEST_SKIP() << "no session bus: run under dbus-run-session";
    }
    CPlatform::SetLoop(&loop);
    CPlatform::SetMainWindowCreated(true);
    CTimerControl::ResetInstance();
    CIntfScheduleControl::ResetInstance();
    CMainDoc::ResetInstance();
    CProcessValues::Reset();
    SetAutomation(&automation);
    // Installed like the program: the component next to it in the program folder.
    ASSERT_EQ(::symlink(ZENU_LOCALSERVER_EXE, (home.Path() + "zenu-localserver").c_str()), 0);
  }
  void TearDown() override {
    SetAutomation(nullptr);
    CIntfScheduleControl::ResetInstance();
    CMainDoc::ResetInstance();
    CIntfUpdateControl::ResetInstance();
    CIntfHttpReq::GetInstance()->ExitAllHTTP();
    CTimerControl::ResetInstance();
    CPlatform::SetMainWindowCreated(false);
    CProcessValues::Reset();
    CPlatform::SetLoop(nullptr);
  }
  // Runs the Qt loop until done() or 15 s; false on time-out.
  bool RunUntil(const std::function<bool()>& done) {
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { timedOut = true; });
    guard.start(15000);
    loop.RunModal([&] { return timedOut || done(); });
    return done();
  }
  bool WaitGone(uint pid) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
      if (!NameOwned(kLocalServer) && ProcessGone(pid)) return true;
      QThread::msleep(20);
    }
    return false;
  }

  CTempHome home;
  CQtMessageLoop loop;
  CFakeMessageBox boxes;
  CDBusAutomation automation;
};
}  // namespace

TEST_F(LocalServerTest, StartReadyHostTaskRequestLoginAndStop) {
  ASSERT_FALSE(NameOwned(kLocalServer));
  CCOMB comb;
  ASSERT_EQ(comb.Publish(), CCOMB::PUBLISHED);
  CMainDoc* doc = CMainDoc::GetInstance();
  CRecordingLogin login;
  login.bAccept = FALSE;
  doc->SetLoginService(&login);

  const int port = CProcessValues::ChooseLocalSrvPort();
  // The remote service: here only its update description, of this very version.
  CLoopbackHttpServer remote;
  remote.Server().Get(
      "/update_info/zenu/update.ini", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("NewVersionInternal=172\nAbandonVersionInternal=100\n", "text/plain");
      });
  ASSERT_TRUE(remote.Start());
  CProcessValues::SetRemoteSrvPort(remote.Port());
  CProcessValues::SetRemoteSrvHost("before.invalid");
  setenv("VADEKO_REMOTE_HOST", "127.0.0.1", 1);
  ASSERT_EQ(::mkdir((home.Path() + "root").c_str(), 0755), 0);
  std::ofstream(home.Path() + "root/search_home.html") << "<html>search</html>";

  doc->StartLocalSrv();
  unsetenv("VADEKO_REMOTE_HOST");
  EXPECT_TRUE(NameOwned(kLocalServer));
  const uint pid = OwnerPid(kLocalServer);
  ASSERT_NE(pid, 0u);
  // Nothing happens towards login before the component's ready command.
  EXPECT_EQ(login.iShown, 0);
  ASSERT_TRUE(RunUntil([&] { return login.iShown == 1; })) << home.ErrorLog();
  EXPECT_EQ(CProcessValues::GetRemoteSrvHost(), "127.0.0.1");
  EXPECT_NE(home.TraceLog().find("LocalSrv is ready"), CString::npos);

  httplib::Client http("127.0.0.1", port);
  // No user yet: refused, with a reason.
  auto ack = http.Get("/ReqTask?strAction=StartReqTask&strType=normal");
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->status, 200);
  EXPECT_EQ(ack->body.substr(0, 3), "[0,");
  EXPECT_EQ(ack->get_header_value("Content-Length"), std::to_string(ack->body.size()));
  auto page = http.Get("/search_home.html");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->body, "<html>search</html>");
  EXPECT_EQ(page->get_header_value("Content-Length"), "19");
  auto missing = http.Get("/no/such/page.html");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
  EXPECT_EQ(missing->get_header_value("Content-Length"), std::to_string(missing->body.size()));
  EXPECT_FALSE(missing->body.empty());

  doc->SendLoginToLocalSrv("张三");
  EXPECT_EQ(home.ErrorLog(), "");

  doc->StopLocalSrv();
  EXPECT_FALSE(doc->GetLocalSrvDriver().HasInstance());
  EXPECT_TRUE(WaitGone(pid)) << "component still running";
  EXPECT_FALSE(http.Get("/ReqTask?strAction=StartReqTask&strType=normal"));
  EXPECT_EQ(login.iShown, 1);
}

TEST_F(LocalServerTest, ComponentEndsWhenItsClientLeavesTheBus) {
  uint pid = 0;
  {
    QDBusConnection client =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("leaving"));
    ASSERT_TRUE(client.isConnected());
    CDBusAutomation clientAutomation(client);
    std::unique_ptr<IAutomationObject> object;
    ASSERT_EQ(clientAutomation.CreateInstance("zenu.LocalServer", object), AUTO_S_OK);
    pid = OwnerPid(kLocalServer);
    ASSERT_NE(pid, 0u);
    DISPID id = 0;
    EXPECT_EQ(object->GetIDsOfNames("OnOrvexCmd", id), AUTO_S_OK);
    EXPECT_EQ(object->GetIDsOfNames("NoSuchMethod", id), AUTO_E_UNKNOWNNAME);
    CString result;
    const CString bad = "not json";
    EXPECT_EQ(object->Invoke(id, &bad, result), AUTO_E_EXCEPTION);
    const CString user = "{\"INT_CMD_IDX\": 2, \"STR_USERNAME\": \"张三\"}";
    EXPECT_EQ(object->Invoke(id, &user, result), AUTO_S_OK);
    EXPECT_EQ(result, "0");
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("leaving"));
  EXPECT_TRUE(WaitGone(pid));

  // A component that is not installed is a creation failure, not a hang.
  std::unique_ptr<IAutomationObject> none;
  EXPECT_EQ(automation.CreateInstance("zenu.NotInstalled", none), AUTO_E_CLASSNOTREG);
  EXPECT_FALSE(none);
}

TEST_F(LocalServerTest, SecondInstanceEndsAndActivatesTheFirst) {
  CRecordingFrame frame;
  CRecordingPush push;
  CMainDoc::GetInstance()->SetMainFrame(&frame);
  CMainDoc::GetInstance()->SetPushEngine(&push);
  CCOMB first;
  ASSERT_EQ(first.Publish(), CCOMB::PUBLISHED);
  EXPECT_EQ(first.Publish(), CCOMB::PUBLISHED);

  QDBusConnection secondBus =
      QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("second"));
  {
    CDBusAutomation secondAutomation(secondBus);
    SetAutomation(&secondAutomation);
    CCOMB second;
    EXPECT_EQ(second.Publish(), CCOMB::OTHER_INSTANCE);
    EXPECT_FALSE(second.IsPublished());
    SetAutomation(&automation);
  }
  ASSERT_TRUE(RunUntil([&] { return frame.iRaised == 1; }));

  // The object's members as another process sees them (calls sent without
  // waiting: the answers come from this very thread).
  auto call = [&](const QString& iface, const QString& member, const QList<QVariant>& args) {
    QDBusMessage msg = QDBusMessage::createMethodCall(QStringLiteral("zenu.Orvex"),
                                                      QStringLiteral("/"), iface, member);
    msg.setArguments(args);
    QDBusPendingCall pending = secondBus.asyncCall(msg);
    // The watcher's signal is an event on this thread: it wakes the waiting loop.
    QDBusPendingCallWatcher watcher(pending);
    bool finished = false;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, [&] { finished = true; });
    RunUntil([&] { return finished; });
    return pending.reply();
  };
  const QString orvex = QStringLiteral("zenu.Orvex");
  const QString denied = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");
  // Boxes and commands are not for a process that is not our local server.
  const QString hello = QString::fromUtf8("\xE4\xBD\xA0\xE5\xA5\xBD");  // UTF-8 on the bus
  QDBusMessage reply = call(orvex, QStringLiteral("m2"), {hello});
  EXPECT_EQ(reply.errorName(), denied);
  reply = call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
               {orvex, QStringLiteral("x"), QVariant::fromValue(QDBusVariant(9))});
  EXPECT_EQ(reply.errorName(), denied);
  reply = call(orvex, QStringLiteral("OnLocalSrvCmd"),
               {QString::fromUtf8(R"({"INT_CMD_IDX": 1, "INT_VIEW_MOVIEID": 77})")});
  EXPECT_EQ(reply.errorName(), denied);
  EXPECT_TRUE(boxes.texts.empty());
  EXPECT_TRUE(push.calls.empty());
  EXPECT_EQ(first.GetX(), 5);
  // What shows nothing stays open to all.
  reply = call(orvex, QStringLiteral("m1"), {});
  ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
  EXPECT_EQ(reply.arguments().value(0).toInt(), 0);
  reply = call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
               {orvex, QStringLiteral("x")});
  EXPECT_EQ(reply.arguments().value(0).value<QDBusVariant>().variant().toInt(), 5);
  reply = call(orvex, QStringLiteral("Nothing"), {});
  EXPECT_EQ(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
  QDBusConnection::disconnectFromBus(QStringLiteral("second"));
}
