#include <gtest/gtest.h>
#include <json/reader.h>

#include <atomic>
#include <memory>

#include "RecordingLinks.h"
#include "app/MainDoc.h"
#include "settings/ConfigDoc.h"
#include "store/MultiUserMgr.h"
#include "tests/support/FakeAutomation.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/HttpWait.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/CmdParams.h"
#include "zenuModule/src/IntfScheduleControl.h"
#include "zenuModule/src/IntfUpdateControl.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/ProgramException.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/NetworkSense.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
class CSwitchedNetwork final : public INetworkSense {
 public:
  CSwitchedNetwork() { SetNetworkSense(this); }
  ~CSwitchedNetwork() override { SetNetworkSense(nullptr); }
  bool IsNetworkAlive() override { return bAlive; }
  bool bAlive = false;
};

Json::Value Parse(const CString& text) {
  Json::Value doc;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &doc, &errors));
  return doc;
}

std::vector<int> Types(const std::vector<SMainDocEvent>& events) {
  std::vector<int> types;
  for (const SMainDocEvent& e : events) types.push_back(e.iType);
  return types;
}

class MainDocSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CPlatform::SetMainWindowCreated(true);
    CTimerControl::ResetInstance();
    CIntfScheduleControl::ResetInstance();
    CIntfUpdateControl::ResetInstance();
    CMainDoc::ResetInstance();
    CCmdParams::ResetInstance();
    CConfigDoc::ResetInstance();
    CMultiUserMgr::ResetInstance();
    CProcessValues::Reset();
    CNetworkStatus::ResetFirstUp();

    // The update description answers with this very version: nothing to offer.
    updates.Server().Get("/update_info/zenu/update.ini",
                         [this](const httplib::Request&, httplib::Response& res) {
                           ++updateFetches;
                           res.set_content(
                               "NewVersionInternal=172\nNewVersionDisplay=x\n"
                               "NewVersionFunction=x\nAbandonVersionInternal=100\n"
                               "AbandonVersionDisplay=x\nUpdateUrl=http://127.0.0.1/\n",
                               "text/plain");
                         });
    ASSERT_TRUE(updates.Start());
    CProcessValues::SetRemoteSrvHost("127.0.0.1");
    CProcessValues::SetRemoteSrvPort(updates.Port());

    component = std::make_shared<SFakeComponent>();
    component->methods = {{"OnOrvexCmd", 1}};
    automation.components["zenu.LocalServer"] = component;

    doc = CMainDoc::GetInstance();
    doc->SetMainFrame(&frame);
    doc->SetPushEngine(&push);
    doc->SetLoginService(&login);
    doc->SetPromptEvents(&prompts);
  }
  void TearDown() override {
    CMainDoc::ResetInstance();
    CIntfUpdateControl::ResetInstance();
    EXPECT_TRUE(WaitForWorkers());
    CTimerControl::ResetInstance();
    CIntfScheduleControl::ResetInstance();
    CCmdParams::ResetInstance();
    CConfigDoc::ResetInstance();
    CMultiUserMgr::ResetInstance();
    CProcessValues::Reset();
    CPlatform::SetMainWindowCreated(false);
  }
  void StartAndBeReady() {
    doc->StartLocalSrv();
    doc->OnLocalSrvCmd(R"({"INT_CMD_IDX": 100})");
    loop.RunPending();
  }

  CTempHome home;
  CVirtualLoop loop;
  CFakeMessageBox boxes;
  CFakeAutomation automation;
  CSwitchedNetwork network;
  CLoopbackHttpServer updates;
  std::atomic<int> updateFetches{0};
  std::shared_ptr<SFakeComponent> component;
  CRecordingFrame frame;
  CRecordingPush push;
  CRecordingLogin login;
  CRecordingPrompts prompts;
  CMainDoc* doc = nullptr;
};
}  // namespace

TEST_F(MainDocSessionTest, ReadyLoginFirstRunThenLaterNetworkComesUpOnce) {
  const char* argv[] = {"vadeko", "-AUTO"};
  CCmdParams::GetInstance()->ParseCommandLine(2, argv);
  ASSERT_TRUE(CMultiUserMgr::GetInstance()->CreateUserDirectory("王五"));
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("王五", CString(32, 'a'));

  StartAndBeReady();
  EXPECT_EQ(login.iShown, 1);
  ASSERT_EQ(component->calls.size(), 2u);
  const Json::Value who = Parse(component->calls[1].strArg);
  EXPECT_EQ(who["INT_CMD_IDX"].asInt(), 2);
  EXPECT_EQ(who["STR_USERNAME"].asString(), "王五");
  EXPECT_EQ(who["STR_USER_DB_FILE"].asString(), GetExePath(0) + "users/王五/db.dat");
  // Started automatically: the window stays hidden.
  EXPECT_EQ(frame.shown, std::vector<bool>{true});
  // A fresh installation: logged in, help pane, push engine without new tasks.
  EXPECT_EQ(Types(frame.events), (std::vector<int>{1, 2}));
  EXPECT_EQ(push.calls, std::vector<CString>{"InitFrame(0)"});
  CConfigDoc::GetInstance()->LoadConfig();
  EXPECT_EQ(CConfigDoc::GetInstance()->IsFirstRun(), 0);
  // The periodic update check asked the service at its port.
  loop.AdvanceBy(1000);
  EXPECT_TRUE(WaitForWorkers());
  loop.AdvanceBy(1000);
  EXPECT_GE(updateFetches.load(), 1);

  // The network was down at login: nothing requested until a check finds it up.
  EXPECT_EQ(doc->GetNetStatus(), 0);
  loop.AdvanceBy(12000);
  EXPECT_EQ(push.calls.size(), 1u);
  network.bAlive = true;
  loop.AdvanceBy(6000);
  EXPECT_EQ(doc->GetNetStatus(), 1);
  EXPECT_EQ(push.calls,
            (std::vector<CString>{"InitFrame(0)", "CheckPushMethod(0)", "StartRequesting(normal,0)"}));
  // Down and up again: never a second first request in this run.
  network.bAlive = false;
  loop.AdvanceBy(6000);
  EXPECT_EQ(doc->GetNetStatus(), 0);
  network.bAlive = true;
  loop.AdvanceBy(6000);
  EXPECT_EQ(push.calls.size(), 3u);

  // A later ready command comes from a restarted component: no second login.
  frame.events.clear();
  doc->OnLocalSrvCmd(R"({"INT_CMD_IDX": 100})");
  loop.RunPending();
  EXPECT_EQ(login.iShown, 1);
  ASSERT_EQ(Types(frame.events), std::vector<int>{4});
  EXPECT_EQ(frame.events[0].strText, "本地服务已恢复");
  EXPECT_EQ(push.calls.size(), 3u);
  EXPECT_EQ(boxes.texts.size(), 0u);
}

TEST_F(MainDocSessionTest, NetworkUpAtLoginRequestsAtOnceAndWindowShowsMaximised) {
  network.bAlive = true;
  CConfigDoc::GetInstance()->InitFirstStart();  // not the first run any more
  CConfigDoc::ResetInstance();
  StartAndBeReady();
  EXPECT_EQ(frame.shown, std::vector<bool>{false});
  EXPECT_EQ(push.calls, (std::vector<CString>{"InitFrame(1)", "CheckPushMethod(0)",
                                              "StartRequesting(normal,0)"}));
  EXPECT_EQ(Types(frame.events), std::vector<int>{1});
}

TEST_F(MainDocSessionTest, QuitDuringThePushMethodQuestionStartsNoRequest) {
  network.bAlive = true;
  CConfigDoc::GetInstance()->InitFirstStart();
  CConfigDoc::ResetInstance();
  push.onCheckPushMethod = [&] { doc->ClearStuffAtQuit(); };
  StartAndBeReady();
  EXPECT_EQ(push.calls,
            (std::vector<CString>{"InitFrame(1)", "CheckPushMethod(0)", "EndAllHTMLDialog()"}));
}

TEST_F(MainDocSessionTest, CancelledLoginAndRetiredVersionPostTheExitCommandOnce) {
  login.bAccept = FALSE;
  StartAndBeReady();
  EXPECT_EQ(frame.commands, std::vector<int>{32803});
  EXPECT_EQ(component->calls.size(), 1u);  // nobody logged in
  EXPECT_TRUE(frame.shown.empty());
  EXPECT_TRUE(push.calls.empty());

  // Retired while the login dialog is open, then the login is cancelled.
  frame.commands.clear();
  doc->OnIntfUpdateControlEvent(2);
  doc->OnIntfUpdateControlEvent(1);
  EXPECT_TRUE(frame.commands.empty());
  doc->OnIntfUpdateControlEvent(0);
  EXPECT_EQ(doc->GetQuitByUpdate(), 1);
  EXPECT_EQ(frame.commands, std::vector<int>{32803});
  doc->ContinueInit();
  EXPECT_EQ(frame.commands, std::vector<int>{32803});
}

TEST_F(MainDocSessionTest, FrameEventsRelayBalloonsAndRejectUnknownTypes) {
  SMainFrameEvent balloon;
  balloon.iType = 2;
  balloon.strInfo1 = "新电影";
  balloon.strInfo2 = "《活着》下载完成";
  doc->OnMainFrameEvent(balloon);
  ASSERT_EQ(frame.events.size(), 1u);
  EXPECT_EQ(frame.events[0].iType, 0);
  EXPECT_EQ(frame.events[0].strInfo1, "新电影");
  EXPECT_EQ(frame.events[0].strInfo2, "《活着》下载完成");

  SMainFrameEvent click;
  click.iType = 3;
  doc->OnMainFrameEvent(click);  // no pending balloon event: nothing shown
  EXPECT_EQ(frame.iRaised, 0);
  prompts.iEvent = 1;
  doc->OnMainFrameEvent(click);
  EXPECT_EQ(frame.iRaised, 1);
  EXPECT_EQ(prompts.iEvent, 0);
  EXPECT_TRUE(push.calls.empty());
  prompts.iEvent = 2;
  doc->OnMainFrameEvent(click);
  EXPECT_EQ(frame.iRaised, 2);
  EXPECT_EQ(push.calls, std::vector<CString>{"SetFocusOnNewDownloaded()"});
  EXPECT_EQ(prompts.iEvent, 0);

  SMainFrameEvent tray;
  tray.iType = 4;
  doc->OnMainFrameEvent(tray);
  EXPECT_EQ(login.iBroughtToFront, 1);

  doc->OnPushDocEvent(1);
  EXPECT_EQ(frame.iRaised, 2);
  doc->OnPushDocEvent(0);
  EXPECT_EQ(frame.iRaised, 3);
  EXPECT_EQ(frame.events.back().iType, 3);

  SMainFrameEvent unknown;
  unknown.iType = 5;
  CString text;
  try {
    doc->OnMainFrameEvent(unknown);
  } catch (CProgramException* e) {
    text = e->GetError();
    e->Delete();
  }
  EXPECT_EQ(text, "遇到未知MainFrame事件");
}

TEST_F(MainDocSessionTest, QuitStopsTheComponentAndClosesAfterTheDialogsAreGone) {
  network.bAlive = true;
  StartAndBeReady();
  push.calls.clear();
  frame.events.clear();
  push.bDialogsOpen = TRUE;
  login.bDialogOpen = TRUE;
  login.bClosesLater = TRUE;

  SMainFrameEvent quit;
  quit.iType = 0;
  doc->OnMainFrameEvent(quit);
  ASSERT_EQ(component->calls.size(), 3u);
  EXPECT_EQ(Parse(component->calls[2].strArg)["INT_CMD_IDX"].asInt(), 100);
  EXPECT_EQ(component->iLiveObjects, 0);
  EXPECT_EQ(push.calls, (std::vector<CString>{"StopRefreshRecord()", "CloseBTCOM()",
                                              "EndAllHTMLDialog()"}));
  EXPECT_EQ(login.iClosed, 1);

  // The login dialog takes a while to end: the frame waits for it.
  loop.AdvanceBy(3000);
  EXPECT_TRUE(frame.events.empty());
  login.bDialogOpen = FALSE;
  loop.AdvanceBy(1000);
  ASSERT_EQ(frame.events.size(), 1u);
  EXPECT_EQ(frame.events[0].iType, 5);
  // Closed once; no more network checks or ticks afterwards.
  loop.AdvanceBy(20000);
  EXPECT_EQ(frame.events.size(), 1u);
  EXPECT_EQ(push.calls.size(), 3u);
}

TEST_F(MainDocSessionTest, SessionEndKeepsTheComponentRunning) {
  SMainFrameEvent end;
  end.iType = 1;
  doc->StartLocalSrv();
  doc->OnMainFrameEvent(end);
  EXPECT_EQ(component->calls.size(), 1u);
  EXPECT_EQ(component->iLiveObjects, 1);
  EXPECT_EQ(push.calls, (std::vector<CString>{"StopRefreshRecord()", "EndAllHTMLDialog()"}));
  loop.AdvanceBy(1000);
  ASSERT_EQ(frame.events.size(), 1u);
  EXPECT_EQ(frame.events[0].iType, 5);
}

TEST_F(MainDocSessionTest, AVanishedComponentIsRestartedAFewTimesAMinuteAndQuitAlwaysQuits) {
  ASSERT_TRUE(CMultiUserMgr::GetInstance()->CreateUserDirectory("alice"));
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("alice", CString(32, 'a'));
  StartAndBeReady();
  ASSERT_EQ(component->calls.size(), 2u);
  auto paneTexts = [&] {
    std::vector<CString> texts;
    for (const auto& e : frame.events) {
      if (e.iType == 4 && e.iParam == 2) texts.push_back(e.strText);
    }
    return texts;
  };

  // Gone: started again with the start command and the user, then ready again.
  component->bAlive = false;
  loop.AdvanceBy(2000);
  EXPECT_EQ(automation.iCreates, 2);
  ASSERT_EQ(component->calls.size(), 4u);
  EXPECT_EQ(Parse(component->calls[2].strArg)["INT_CMD_IDX"].asInt(), 1);
  const Json::Value who = Parse(component->calls[3].strArg);
  EXPECT_EQ(who["INT_CMD_IDX"].asInt(), 2);
  EXPECT_EQ(who["STR_USERNAME"].asString(), "alice");
  EXPECT_NE(home.TraceLog().find("LocalSrv is gone, restarting it"), CString::npos);
  component->bAlive = true;
  doc->OnLocalSrvCmd(R"({"INT_CMD_IDX": 100})");
  loop.RunPending();
  EXPECT_EQ(login.iShown, 1);
  EXPECT_EQ(paneTexts(),
            (std::vector<CString>{"本地服务意外退出，正在重新启动", "本地服务已恢复"}));

  // One that keeps dying is restarted three times a minute at most.
  component->bAlive = false;
  loop.AdvanceBy(20000);
  EXPECT_EQ(automation.iCreates, 4);
  EXPECT_EQ(paneTexts().back(), "本地服务多次意外退出，稍后将再次启动");
  EXPECT_EQ(component->iLiveObjects, 0);
  loop.AdvanceBy(41000);
  EXPECT_EQ(automation.iCreates, 5);

  // The quit goes through although every call to the component fails.
  doc->StartLocalSrv();
  component->invokeResult = AUTO_E_DISCONNECTED;
  const size_t before = frame.events.size();
  SMainFrameEvent quit;
  quit.iType = 0;
  doc->OnMainFrameEvent(quit);
  EXPECT_EQ(component->iLiveObjects, 0);
  EXPECT_EQ(push.calls.back(), "EndAllHTMLDialog()");
  loop.AdvanceBy(1000);
  ASSERT_GT(frame.events.size(), before);
  EXPECT_EQ(frame.events.back().iType, 5);
  EXPECT_NE(home.ErrorLog().find("Invoke OnOrvexCmd() failure"), CString::npos);
}
