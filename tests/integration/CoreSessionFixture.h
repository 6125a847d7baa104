#pragma once
// The client's core on the Qt loop with the real D-Bus automation and the real
// local server component in a fresh program folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QTimer>
#include <cstdlib>
#include <functional>

#include "account/RegLoginDoc.h"
#include "app/MainDoc.h"
#include "app/NetworkStatus.h"
#include "app/UApp.h"
#include "eval/EvalDoc.h"
#include "platform/qt/DBusAutomation.h"
#include "platform/qt/QtMessageLoop.h"
#include "prompt/PromptMgrDoc.h"
#include "push/PushDoc.h"
#include "settings/ConfigDoc.h"
#include "settings/ServiceHostSetting.h"
#include "store/IntfDB.h"
#include "store/MultiUserMgr.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/HttpWait.h"
#include "tests/support/TempHome.h"
#include "zenuModule/src/CmdParams.h"
#include "zenuModule/src/IntfHttpReq.h"
#include "zenuModule/src/IntfScheduleControl.h"
#include "zenuModule/src/IntfUpdateControl.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/NetworkSense.h"
#include "zenuModule/src/desktop/Platform.h"

class CAliveNetwork final : public INetworkSense {
 public:
  CAliveNetwork() { SetNetworkSense(this); }
  ~CAliveNetwork() override { SetNetworkSense(nullptr); }
  bool IsNetworkAlive() override { return true; }
};

class CTestFramework final : public IAppFramework {
 public:
  BOOL InitAutomation() override { return QDBusConnection::sessionBus().isConnected(); }
  BOOL CreateMainFrame() override { return TRUE; }
  BOOL RunShellCommand() override { return TRUE; }
};

class CoreSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) GTEST_SKIP() << "run under dbus-run-session";
    CPlatform::SetLoop(&loop);
    CPlatform::SetMainWindowCreated(true);
    ResetAll();
    SetAutomation(&automation);
    ASSERT_EQ(::symlink(ZENU_LOCALSERVER_EXE, (home.Path() + "zenu-localserver").c_str()), 0);
    ASSERT_EQ(::mkdir((home.Path() + "root").c_str(), 0755), 0);
    setenv("VADEKO_REMOTE_HOST", "127.0.0.1", 1);
    // Not the machine's operator defaults.
    CServiceHostSetting::SetSystemFile(home.Path() + "vadeko.conf");
  }
  void TearDown() override {
    unsetenv("VADEKO_REMOTE_HOST");
    CServiceHostSetting::SetSystemFile("");
    SetAutomation(nullptr);
    CIntfHttpReq::GetInstance()->ExitAllHTTP();
    WaitForWorkers();
    ResetAll();
    CPlatform::SetMainWindowCreated(false);
    CPlatform::SetLoop(nullptr);
  }
  static void ResetAll() {
    CPushDoc::ResetInstance();
    CMainDoc::ResetInstance();
    CIntfDB::ResetInstance();
    CIntfUpdateControl::ResetInstance();
    CIntfScheduleControl::ResetInstance();
    CTimerControl::ResetInstance();
    CCmdParams::ResetInstance();
    CProcessValues::Reset();
    CNetworkStatus::ResetFirstUp();
    CMultiUserMgr::ResetInstance();
    CConfigDoc::ResetInstance();
    CRegLoginDoc::ResetInstance();
    CPromptMgrDoc::ResetInstance();
    CEvalDoc::ResetInstance();
  }
  // Runs the Qt loop until done() or the time-out; returns done().
  bool RunUntil(const std::function<bool()>& done, int ms = 15000) {
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { timedOut = true; });
    guard.start(ms);
    loop.RunModal([&] { return timedOut || done(); });
    return done();
  }

  CTempHome home;
  CQtMessageLoop loop;
  CFakeMessageBox boxes;
  CDBusAutomation automation;
  CAliveNetwork network;
};
