#include "app/UApp.h"

#include <gtest/gtest.h>

#include "app/MainDoc.h"
#include "settings/ServiceHostSetting.h"
#include "tests/support/FakeAutomation.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/CmdParams.h"
#include "zenuModule/src/IntfScheduleControl.h"
#include "zenuModule/src/JsonParse.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/IniFile.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
class CScriptedFramework final : public IAppFramework {
 public:
  BOOL InitAutomation() override {
    steps.push_back("automation");
    return bAutomation;
  }
  BOOL CreateMainFrame() override {
    steps.push_back("frame");
    // As the program's frame does: the timers may run from now on.
    if (bFrame) CPlatform::SetMainWindowCreated(true);
    return bFrame;
  }
  BOOL RunShellCommand() override {
    steps.push_back("shell");
    return bShell;
  }
  BOOL bAutomation = TRUE;
  BOOL bFrame = TRUE;
  BOOL bShell = TRUE;
  std::vector<CString> steps;
};

class UAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CIntfScheduleControl::ResetInstance();
    CMainDoc::ResetInstance();
    CCmdParams::ResetInstance();
    CProcessValues::Reset();
    // Not the machine's operator defaults.
    CServiceHostSetting::SetSystemFile(home.Path() + "vadeko.conf");
    component = std::make_shared<SFakeComponent>();
    component->methods = {{"OnOrvexCmd", 1}};
    automation.components["zenu.LocalServer"] = component;
  }
  void TearDown() override {
    CIntfScheduleControl::ResetInstance();
    CMainDoc::ResetInstance();
    CTimerControl::ResetInstance();
    CPlatform::SetMainWindowCreated(false);
    CCmdParams::ResetInstance();
    CProcessValues::Reset();
    CServiceHostSetting::SetSystemFile("");
  }
  CTempHome home;
  CVirtualLoop loop;
  CFakeMessageBox boxes;
  CFakeAutomation automation;
  std::shared_ptr<SFakeComponent> component;
  CScriptedFramework framework;
};

const char* const kArgs[] = {"vadeko", "-AUTO", "-server_port", "8088"};
}  // namespace

TEST_F(UAppTest, StartsInOrderAndHandsOverToTheLocalWebServer) {
  CUApp app(framework);
  ASSERT_TRUE(app.InitInstance(4, kArgs));
  EXPECT_EQ(framework.steps, (std::vector<CString>{"automation", "frame", "shell"}));
  EXPECT_TRUE(app.GetCOMB().IsPublished());
  EXPECT_EQ(CCmdParams::GetInstance()->GetIsAuto(), 1);
  EXPECT_EQ(CProcessValues::GetRemoteSrvPort(), 8088);
  const int port = CProcessValues::GetLocalSrvPort();
  EXPECT_NE(port, 80);
  EXPECT_EQ(CProcessValues::GetLocalSrvBaseUrl(), "http://127.0.0.1:" + std::to_string(port));
  // The start command carries the port the command line gave.
  ASSERT_EQ(component->calls.size(), 1u);
  EXPECT_NE(component->calls[0].strArg.find("\"INT_REMOTE_SERVER_PORT\" : 8088"), CString::npos)
      << component->calls[0].strArg;
  const CString trace = home.TraceLog();
  const size_t portLine = trace.find("localsrv port: " + std::to_string(port));
  const size_t beforeLine = trace.find("In InitInstance, before start localsrv");
  ASSERT_NE(portLine, CString::npos);
  ASSERT_NE(beforeLine, CString::npos);
  EXPECT_LT(portLine, beforeLine);
  EXPECT_TRUE(boxes.texts.empty());
  EXPECT_EQ(home.ErrorLog(), "");
}

TEST_F(UAppTest, AnotherInstanceEndsThisOneQuietly) {
  automation.bNameTaken = true;
  CUApp app(framework);
  EXPECT_FALSE(app.InitInstance(1, kArgs));
  EXPECT_EQ(automation.activated, std::vector<CString>{"zenu.Orvex"});
  EXPECT_EQ(framework.steps, std::vector<CString>{"automation"});
  EXPECT_TRUE(component->calls.empty());
  EXPECT_TRUE(boxes.texts.empty());
  // Port selection comes first: its line is the only trace of this start.
  EXPECT_NE(home.TraceLog().find("localsrv port: "), CString::npos);
  EXPECT_EQ(home.TraceLog().find("before start localsrv"), CString::npos);
}

TEST_F(UAppTest, FrameworkFailuresAndRaisedErrorsEndTheStart) {
  framework.bAutomation = FALSE;
  EXPECT_FALSE(CUApp(framework).InitInstance(1, kArgs));
  EXPECT_EQ(boxes.texts, std::vector<CString>{CUApp::kAutomationFailure});

  framework = CScriptedFramework();
  framework.bFrame = FALSE;
  EXPECT_FALSE(CUApp(framework).InitInstance(1, kArgs));
  EXPECT_EQ(framework.steps, (std::vector<CString>{"automation", "frame"}));

  framework = CScriptedFramework();
  framework.bShell = FALSE;
  EXPECT_FALSE(CUApp(framework).InitInstance(1, kArgs));
  EXPECT_TRUE(component->calls.empty());
  EXPECT_EQ(boxes.texts.size(), 1u);

  // The component cannot be created: the error is logged and told, and the start ends.
  automation.components.clear();
  framework = CScriptedFramework();
  EXPECT_FALSE(CUApp(framework).InitInstance(1, kArgs));
  ASSERT_EQ(boxes.texts.size(), 3u);
  EXPECT_EQ(boxes.texts[1].rfind("糟糕，出错了：\n", 0), 0u);
  EXPECT_NE(boxes.texts[1].find("CoCreateInstance zenu.LocalServer failure"), CString::npos);
  EXPECT_NE(boxes.texts[1].find("CallStack: UApp.cpp, CUApp::InitInstance"), CString::npos);
  EXPECT_EQ(boxes.texts[2], "对不起，程序遇到严重错误，将立即关闭。请重新启动程序");
  EXPECT_NE(home.ErrorLog().find("CoCreateInstance zenu.LocalServer failure"), CString::npos);
}

TEST_F(UAppTest, TheConfiguredServiceIsTheRunsUntilTheLocalServerOrTheUserSaysOtherwise) {
  ASSERT_TRUE(IniWriteString(Utf8ToGBK(home.Path()) + "config.ini", "sys", "ServiceHost",
                             "movies.lan:9000"));
  CUApp app(framework);
  const char* const args[] = {"vadeko"};
  ASSERT_TRUE(app.InitInstance(1, args));
  ASSERT_EQ(component->calls.size(), 1u);
  Json::Value start;
  ASSERT_TRUE(ParseJsonText(component->calls[0].strArg, start));
  EXPECT_EQ(start["STR_REMOTE_SERVER"].asString(), "movies.lan");
  EXPECT_EQ(start["INT_REMOTE_SERVER_PORT"].asInt(), 9000);

  // The local server reports the host it uses (its launcher may have chosen one).
  CMainDoc::GetInstance()->OnLocalSrvCmd(R"({"INT_CMD_IDX": 200, "STR_IP": "10.0.0.2"})");
  EXPECT_EQ(CProcessValues::GetRemoteSrvHost(), "10.0.0.2");
  EXPECT_EQ(CServiceHostSetting::CurrentText(), "10.0.0.2:9000");

  // The user's choice reaches the local server at once.
  ASSERT_TRUE(CServiceHostSetting::Change("192.168.1.5:8088"));
  ASSERT_EQ(component->calls.size(), 2u);
  Json::Value change;
  ASSERT_TRUE(ParseJsonText(component->calls[1].strArg, change));
  EXPECT_EQ(change["INT_CMD_IDX"].asInt(), 3);
  EXPECT_EQ(change["STR_REMOTE_SERVER"].asString(), "192.168.1.5");
  EXPECT_EQ(change["INT_REMOTE_SERVER_PORT"].asInt(), 8088);
  EXPECT_EQ(home.ErrorLog(), "");
}
