// The main window wired to the real session controller on the Qt loop: status
// texts, the second start's raise, and the tray's quit running the quit
// sequence until the window closes for real.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <algorithm>
#include <cctype>

#include "app/MainDoc.h"
#include "platform/qt/QtMessageLoop.h"
#include "platform/qt/QtText.h"
#include "store/MultiUserMgr.h"
#include "tests/support/FakeAutomation.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/TempHome.h"
#include "ui/frame/MainFrame.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
class MainFrameSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CPlatform::SetLoop(&loop);
    CMainDoc::ResetInstance();
    CTimerControl::ResetInstance();
    CMultiUserMgr::ResetInstance();
    frame = std::make_unique<CMainFrame>();
    CPlatform::SetMainWindowCreated(true);
    frame->InitFirstPane();
    CMainDoc::GetInstance()->SetMainFrame(frame.get());
  }
  void TearDown() override {
    CMainDoc::GetInstance()->SetMainFrame(nullptr);
    frame.reset();
    CPlatform::SetMainWindowCreated(false);
    CMainDoc::ResetInstance();
    CTimerControl::ResetInstance();
    CMultiUserMgr::ResetInstance();
    CPlatform::SetLoop(nullptr);
  }

  CTempHome home;
  CQtMessageLoop loop;
  CFakeMessageBox boxes;
  std::unique_ptr<CMainFrame> frame;
};
}  // namespace

TEST_F(MainFrameSessionTest, StatusTextsAndTheSecondStartsRaise) {
  CMainDoc* doc = CMainDoc::GetInstance();
  doc->SetStatusInfo(2, GBKFromQString("服务器连接正常"));
  EXPECT_EQ(frame->StatusText(2), QStringLiteral("服务器连接正常"));
  EXPECT_EQ(frame->StatusText(1), QString());

  EXPECT_TRUE(frame->isHidden());
  doc->OnActivateRequest();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_TRUE(frame->isMaximized());
}

TEST_F(MainFrameSessionTest, TrayQuitRunsTheQuitSequenceUntilTheWindowCloses) {
  CFakeAutomation automation;
  auto localSrv = std::make_shared<SFakeComponent>();
  localSrv->methods["OnOrvexCmd"] = 7;
  automation.components["zenu.LocalServer"] = localSrv;
  CMainDoc::GetInstance()->StartLocalSrv();
  ASSERT_EQ(localSrv->iLiveObjects, 1);

  QSignalSpy closed(frame.get(), &CMainFrame::closedForReal);
  SMainDocEvent login;
  login.iType = 1;
  frame->OnUpdate(login);
  frame->ShowAfterLogin(false);

  QMenu* menu = frame->BuildTrayMenu();
  ASSERT_EQ(menu->actions().size(), 4);
  menu->actions()[3]->trigger();
  EXPECT_FALSE(frame->IsClosedForReal());  // the controller waits for its dialogs first
  ASSERT_TRUE(closed.wait(5000)) << home.ErrorLog();
  EXPECT_TRUE(frame->IsClosedForReal());
  EXPECT_TRUE(frame->isHidden());
  // The component was told to stop and released.
  ASSERT_FALSE(localSrv->calls.empty());
  CString stop = localSrv->calls.back().strArg;
  stop.erase(std::remove_if(stop.begin(), stop.end(), ::isspace), stop.end());
  EXPECT_EQ(stop, "{\"INT_CMD_IDX\":100}");
  EXPECT_EQ(localSrv->iLiveObjects, 0);
  EXPECT_TRUE(boxes.texts.empty());
  EXPECT_EQ(home.ErrorLog(), "");
}
