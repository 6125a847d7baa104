#include "app/MainDoc.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <memory>

#include "RecordingLinks.h"
#include "tests/support/FakeAutomation.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/HttpWait.h"
#include "tests/support/RaisedText.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/IntfScheduleControl.h"
#include "zenuModule/src/IntfUpdateControl.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/ProgramException.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
Json::Value ParseSent(const SFakeComponent::SCall& call) {
  Json::Value doc;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  EXPECT_TRUE(
      reader->parse(call.strArg.data(), call.strArg.data() + call.strArg.size(), &doc, &errors));
  return doc;
}

class MainDocTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CPlatform::SetMainWindowCreated(true);
    CTimerControl::ResetInstance();
    CIntfScheduleControl::ResetInstance();
    CMainDoc::ResetInstance();
    CProcessValues::Reset();
    component = std::make_shared<SFakeComponent>();
    component->methods = {{"OnOrvexCmd", 1}};
    automation.components["zenu.LocalServer"] = component;
  }
  void TearDown() override {
    CIntfScheduleControl::ResetInstance();
    CMainDoc::ResetInstance();
    CIntfUpdateControl::ResetInstance();
    EXPECT_TRUE(WaitForWorkers());
    CTimerControl::ResetInstance();
    CProcessValues::Reset();
    CPlatform::SetMainWindowCreated(false);
  }
  CTempHome home;
  CVirtualLoop loop;
  CFakeAutomation automation;
  std::shared_ptr<SFakeComponent> component;
};
}  // namespace

TEST_F(MainDocTest, StartLoginAndStopCommandsReachTheComponent) {
  CRecordingLogin login;
  login.bAccept = FALSE;  // the session stops right after the login
  CMainDoc* doc = CMainDoc::GetInstance();
  doc->SetLoginService(&login);
  CProcessValues::SetLocalSrvPort(18123);
  CProcessValues::SetRemoteSrvPort(8088);
  CProcessValues::SetRemoteSrvHost("127.0.0.1");

  doc->StartLocalSrv();
  ASSERT_EQ(component->calls.size(), 1u);
  EXPECT_EQ(component->iLiveObjects, 1);
  const Json::Value start = ParseSent(component->calls[0]);
  const CString folder = GetExePath(0);
  EXPECT_EQ(start["INT_CMD_IDX"].asInt(), 1);
  EXPECT_EQ(start["INT_VERSION"].asInt(), 172);
  EXPECT_EQ(start["STR_LOCAL_SERVER_ROOT_PATH"].asString(), folder + "root");
  EXPECT_EQ(start["STR_PROG_PATH"].asString(), folder);
  EXPECT_EQ(start["INT_LOCAL_SERVER_PORT"].asInt(), 18123);
  EXPECT_EQ(start["STR_REMOTE_SERVER"].asString(), kDefaultRemoteHost);
  EXPECT_EQ(start["INT_REMOTE_SERVER_PORT"].asInt(), 8088);
  EXPECT_EQ(start["INT_TEST_ALONE"].asInt(), 0);
  EXPECT_EQ(start.size(), 8u);

  // The component's ready command, taken inside its call, continues the session
  // only once the loop runs.
  doc->OnLocalSrvCmd(R"({"INT_CMD_IDX": 100})");
  EXPECT_EQ(login.iShown, 0);
  loop.RunPending();
  EXPECT_EQ(login.iShown, 1);
  // A second one is a restarted component's: the session does not start again.
  doc->OnLocalSrvCmd(R"({"INT_CMD_IDX": 100})");
  loop.RunPending();
  EXPECT_EQ(login.iShown, 1);
  EXPECT_EQ(component->calls.size(), 1u);  // nobody logged in

  doc->SendLoginToLocalSrv("李四");
  ASSERT_EQ(component->calls.size(), 2u);
  const Json::Value who = ParseSent(component->calls[1]);
  EXPECT_EQ(who["INT_CMD_IDX"].asInt(), 2);
  EXPECT_EQ(who["INT_USER_ID"].asInt(), 0);
  EXPECT_EQ(who["STR_USERNAME"].asString(), "李四");
  EXPECT_EQ(who["STR_USER_DB_FILE"].asString(), folder + "users/李四/db.dat");

  doc->StopLocalSrv();
  ASSERT_EQ(component->calls.size(), 3u);
  const Json::Value stop = ParseSent(component->calls[2]);
  EXPECT_EQ(stop["INT_CMD_IDX"].asInt(), 100);
  EXPECT_EQ(stop.size(), 1u);
  EXPECT_EQ(component->iLiveObjects, 0);
  EXPECT_EQ(component->lookups.size(), 1u);
  // Released: later sends are silently dropped.
  doc->SendLoginToLocalSrv("x");
  EXPECT_EQ(component->calls.size(), 3u);
}

TEST_F(MainDocTest, StartFailuresStatusPanesAndActivation) {
  automation.components.clear();
  CMainDoc* doc = CMainDoc::GetInstance();
  const CString text = RaisedText([&] { doc->StartLocalSrv(); });
  EXPECT_EQ(text, "CoCreateInstance zenu.LocalServer failure");

  automation.components["zenu.LocalServer"] = component;
  component->invokeResult = AUTO_E_DISCONNECTED;
  EXPECT_EQ(RaisedText([&] { doc->StartLocalSrv(); }),
            "Invoke OnOrvexCmd() failure.hr:-2147417848");

  CRecordingFrame frame;
  doc->SetStatusInfo(2, "已连接");
  doc->OnActivateRequest();  // no frame yet: nothing to show
  doc->SetMainFrame(&frame);
  doc->SetStatusInfo(3, "已连接");
  doc->OnActivateRequest();
  ASSERT_EQ(frame.events.size(), 1u);
  EXPECT_EQ(frame.events[0].iType, 4);
  EXPECT_EQ(frame.events[0].iParam, 3);
  EXPECT_EQ(frame.events[0].strText, "已连接");
  EXPECT_EQ(frame.iRaised, 1);

  // A second start while the login dialog is up raises the dialog, not the
  // still empty window.
  CRecordingLogin login;
  login.bDialogOpen = TRUE;
  doc->SetLoginService(&login);
  doc->OnActivateRequest();
  EXPECT_EQ(login.iBroughtToFront, 1);
  EXPECT_EQ(frame.iRaised, 1);
  doc->SetLoginService(nullptr);
}

TEST_F(MainDocTest, AHeldNameIsWaitedForAndATakenPortIsTheOneTheComponentReports) {
  CFakeMessageBox boxes;
  CProcessValues::SetLocalSrvPort(18123);
  // Another process holds the name: no end of the program, one message naming
  // it, and the component is made once the name is free.
  automation.strangers["zenu.LocalServer"] = {4242, "/tmp/squatter"};
  CMainDoc* doc = CMainDoc::GetInstance();
  doc->StartLocalSrv();
  loop.AdvanceBy(20000);
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_NE(boxes.texts[0].find("进程 4242 (/tmp/squatter)"), CString::npos) << boxes.texts[0];
  EXPECT_TRUE(component->calls.empty());
  EXPECT_GT(automation.iCreates, 5);

  // Its start is answered with the port it could listen on.
  automation.strangers.clear();
  component->strResult = "18200";
  loop.AdvanceBy(10000);
  ASSERT_EQ(component->calls.size(), 1u);
  EXPECT_EQ(ParseSent(component->calls[0])["INT_LOCAL_SERVER_PORT"].asInt(), 18123);
  EXPECT_EQ(CProcessValues::GetLocalSrvPort(), 18200);
  EXPECT_EQ(CProcessValues::GetLocalSrvBaseUrl(), "http://127.0.0.1:18200");
  EXPECT_EQ(boxes.texts.size(), 1u);
  doc->StopLocalSrv();
}
