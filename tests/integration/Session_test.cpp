// The whole session on the Qt loop against the real local web server component:
// start-up, ready, login, the user to the component, the network check and the
// first task request, a second start, then the quit sequence.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <cstdlib>

#include "account/RegLoginDoc.h"
#include "app/MainDoc.h"
#include "app/UApp.h"
#include "eval/EvalDoc.h"
#include "platform/qt/DBusAutomation.h"
#include "platform/qt/QtMessageLoop.h"
#include "prompt/PromptMgrDoc.h"
#include "settings/ConfigDoc.h"
#include "store/MultiUserMgr.h"
#include "tests/app/RecordingLinks.h"
#include "tests/integration/CoreSessionFixture.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/HttpWait.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ProcessState.h"
#include "tests/support/TempHome.h"
#include "zenuModule/src/CmdParams.h"
#include "zenuModule/src/HttpReqControl.h"
#include "zenuModule/src/IntfHttpReq.h"
#include "zenuModule/src/IntfScheduleControl.h"
#include "zenuModule/src/IntfUpdateControl.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/NetworkSense.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
const QString kLocalServer = QStringLiteral("zenu.LocalServer");

// The push engine's first request goes to the component's ReqTask, as the real
// engine's does; the rest of the engine is recorded.
class CTaskRequestingPush final : public IPushEngine {
 public:
  void FindAndDisplayMovie(RecordGID) override {}
  void ReceiveNewTask2(const Json::Value&) override {}
  void OnDownloadRecord() override {}
  void OnRunningThunder() override {}
  void OnRunningThunderEx(int) override {}
  void OnRequestRecordStatus(int, int) override {}
  void EndCalcDlg(int) override {}
  void InitFrame(BOOL bShowNewTask) override {
    calls.push_back(bShowNewTask ? "InitFrame(1)" : "InitFrame(0)");
  }
  void CheckPushMethod(BOOL) override { calls.push_back("CheckPushMethod"); }
  void StartRequesting(const CString& strParam, int) override {
    calls.push_back("StartRequesting(" + strParam + ")");
    ulRequest = CIntfHttpReq::GetInstance()->HttpRequest(
        "http://127.0.0.1/ReqTask?strAction=StartReqTask&strType=" + strParam,
        CProcessValues::GetLocalSrvPort());
  }
  void StopRefreshRecord() override { calls.push_back("StopRefreshRecord"); }
  void CloseBTCOM() override { calls.push_back("CloseBTCOM"); }
  void EndAllHTMLDialog() override { calls.push_back("EndAllHTMLDialog"); }
  BOOL IsAllHTMLDlgEnd() override { return TRUE; }
  void SetFocusOnNewDownloaded() override {}
  std::vector<CString> calls;
  unsigned long ulRequest = 0;
};

class SessionTest : public CoreSessionTest {
 protected:
  void SetUp() override {
    CoreSessionTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    remote.Server().Get(
        "/update_info/zenu/update.ini", [](const httplib::Request&, httplib::Response& res) {
          res.set_content("NewVersionInternal=172\nAbandonVersionInternal=100\n", "text/plain");
        });
    ASSERT_TRUE(remote.Start());
  }

  CLoopbackHttpServer remote;
};
}  // namespace

TEST_F(SessionTest, StartLoginFirstRequestSecondStartAndQuit) {
  CRecordingFrame frame;
  CTaskRequestingPush push;
  CMainDoc* doc = CMainDoc::GetInstance();
  doc->SetMainFrame(&frame);
  doc->SetPushEngine(&push);

  // A user who logged in before; automatic login is on by default, so the
  // program's own login shows no dialog at all.
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("tester", "0123456789abcdef0123456789abcdef");
  CTestFramework framework;
  CUApp app(framework);
  const std::string port = std::to_string(remote.Port());
  const char* argv[] = {"vadeko", "-AUTO", "-server_port", port.c_str()};
  ASSERT_TRUE(app.InitInstance(4, argv)) << home.ErrorLog();
  EXPECT_EQ(CProcessValues::GetRemoteSrvPort(), remote.Port());
  const QDBusReply<uint> owner =
      QDBusConnection::sessionBus().interface()->servicePid(kLocalServer);
  ASSERT_TRUE(owner.isValid());
  const uint pid = owner.value();
  EXPECT_EQ(home.TraceLog().find("自动登录"),
            CString::npos);  // nothing before the component is ready

  ASSERT_TRUE(RunUntil([&] { return push.ulRequest != 0; })) << home.ErrorLog();
  EXPECT_NE(home.TraceLog().find("自动登录,跳过登录验证"), CString::npos);
  EXPECT_EQ(frame.shown, std::vector<bool>{true});  // -AUTO: stays hidden
  EXPECT_EQ(CProcessValues::GetRemoteSrvHost(), "127.0.0.1");
  EXPECT_EQ(push.calls,
            (std::vector<CString>{"InitFrame(0)", "CheckPushMethod", "StartRequesting(normal)"}));
  const SHttpOutcome ack = WaitForRequest(push.ulRequest);
  ASSERT_TRUE(ack.bDone);
  EXPECT_FALSE(ack.bError) << ack.strError;
  CString body;
  ack.buf.CopyToString(body);
  EXPECT_EQ(body.substr(0, 2), "[1");
  const CString trace = home.TraceLog();
  EXPECT_NE(trace.find("In InitInstance, before start localsrv"), CString::npos);
  EXPECT_NE(trace.find("LocalSrv is ready"), CString::npos);

  // A second start on its own bus connection ends at once and raises this one.
  const QString second = QStringLiteral("second-start");
  {
    QDBusConnection secondBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, second);
    CDBusAutomation secondAutomation(secondBus);
    SetAutomation(&secondAutomation);
    CTestFramework secondFramework;
    CUApp secondApp(secondFramework);
    EXPECT_FALSE(secondApp.InitInstance(1, argv));
    SetAutomation(&automation);
  }
  QDBusConnection::disconnectFromBus(second);
  ASSERT_TRUE(RunUntil([&] { return frame.iRaised == 1; }));

  // Quit from the tray menu.
  SMainFrameEvent quit;
  quit.iType = 0;
  doc->OnMainFrameEvent(quit);
  EXPECT_FALSE(doc->GetLocalSrvDriver().HasInstance());
  EXPECT_EQ(CHttpReqControl::GetThreadCount(), 0);
  ASSERT_TRUE(RunUntil([&] { return !frame.events.empty() && frame.events.back().iType == 5; }));
  QElapsedTimer clock;
  clock.start();
  while (!ProcessGone(pid) && clock.elapsed() < 10000) QThread::msleep(20);
  EXPECT_TRUE(ProcessGone(pid)) << "component still running";
  EXPECT_EQ(push.calls.back(), "EndAllHTMLDialog");
  EXPECT_TRUE(CRegLoginDoc::GetInstance()->IsAllModalDlgClosed());
  EXPECT_TRUE(boxes.texts.empty());
  EXPECT_EQ(home.ErrorLog(), "");
}
