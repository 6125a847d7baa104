#include "push/BTDownload.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "settings/ConfigDoc.h"
#include "store/MultiUserMgr.h"
#include "tests/support/FakeAutomation.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/RaisedText.h"
#include "tests/support/TempHome.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/ProgramException.h"
#include "zenuModule/src/desktop/IniFile.h"

namespace {
const std::vector<CString> kNames = {"IsRunning",   "StartBT",        "GetDownloadedPercent",
                                     "GetLeftTime", "GetPeerConnNum", "GetDownloadRate",
                                     "Exit",        "GetLastError",   "GetOtherRunInfo"};

// A TCP socket bound on all interfaces; its port is taken while it lives.
class CBoundPort final {
 public:
  CBoundPort() {
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
  }
  ~CBoundPort() { Release(); }
  void Release() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
  }
  int Port() const { return m_port; }

 private:
  int m_fd = -1;
  int m_port = 0;
};

class BTDownloadTest : public ::testing::Test {
 protected:
  BTDownloadTest() {
    ResetAll();
    CMultiUserMgr::GetInstance()->SaveAccountAndPwd("u1", "0123456789abcdef0123456789abcdef");
    component = std::make_shared<SFakeComponent>();
    // Ids deliberately unlike the positions, to see each call use its own.
    for (size_t i = 0; i < kNames.size(); ++i)
      component->methods[kNames[i]] = static_cast<DISPID>(100 + i * 3);
    automation.components["zenu.BTDownload"] = component;
  }
  ~BTDownloadTest() override { ResetAll(); }
  static void ResetAll() {
    CConfigDoc::ResetInstance();
    CMultiUserMgr::ResetInstance();
    CProcessValues::Reset();
  }
  static DISPID Id(const CString& name) {
    for (size_t i = 0; i < kNames.size(); ++i)
      if (kNames[i] == name) return static_cast<DISPID>(100 + i * 3);
    return -1;
  }
  CString ConfiguredPort() const {
    return IniGetString(CString(home.Path()) + "config.ini", "sys", "Port", "none");
  }

  CTempHome home;
  CFakeMessageBox box;
  CFakeAutomation automation;
  std::shared_ptr<SFakeComponent> component;
  CBTDownload bt;
};
}  // namespace

TEST_F(BTDownloadTest, CreationLooksUpTheNineNamesInOrder) {
  EXPECT_EQ(bt.GetState(), 0);
  bt.CreateInstance();
  EXPECT_EQ(bt.GetState(), 1);
  EXPECT_EQ(component->lookups, kNames);
  EXPECT_EQ(component->iLiveObjects, 1);
  EXPECT_TRUE(component->calls.empty());  // IsRunning is never called
  EXPECT_NE(home.TraceLog().find("启动BT下载组件成功"), CString::npos);
}

TEST_F(BTDownloadTest, CreationFailuresNameWhatFailed) {
  automation.components.clear();
  EXPECT_EQ(RaisedText([&] { bt.CreateInstance(); }), "CoCreateInstance failure");
  EXPECT_EQ(bt.GetState(), 0);

  automation.components["zenu.BTDownload"] = component;
  component->methods.erase("GetLastError");
  EXPECT_EQ(RaisedText([&] { bt.CreateInstance(); }), "GetIDsOfNames:GetLastError() failure");
  EXPECT_EQ(bt.GetState(), 0);
  EXPECT_EQ(component->lookups.back(), "GetLastError");
  EXPECT_EQ(component->lookups.size(), 8u);  // stops at the first missing name
  EXPECT_EQ(component->iLiveObjects, 0);
  EXPECT_EQ(home.TraceLog().find("启动BT下载组件成功"), CString::npos);

  // Unusable: nothing reaches the component.
  EXPECT_EQ(bt.StartBT("--responsefile \"a\" --saveas \"b\""), FALSE);
  EXPECT_EQ(bt.GetPercent(), 0);
  EXPECT_TRUE(component->calls.empty());
  EXPECT_NE(home.TraceLog().find("CBTDownload::StartBT启动下载失败"), CString::npos);
}

TEST_F(BTDownloadTest, StartAppendsTheFreeConfiguredPortRangeAndTheRateLimit) {
  CBoundPort probe;
  const int port = probe.Port();
  probe.Release();
  CConfigDoc::GetInstance()->SetPort(port);
  CProcessValues::SetRemoteSrvHost("127.0.0.1");
  CProcessValues::SetRemoteSrvPort(8088);
  bt.CreateInstance();
  const CString args = "--responsefile \"/h/data/7/7.torrent\" --saveas \"/h/电影/片名\"";
  EXPECT_EQ(bt.StartBT(args), TRUE);

  ASSERT_EQ(component->calls.size(), 1u);
  EXPECT_EQ(component->calls[0].id, Id("StartBT"));
  ASSERT_TRUE(component->calls[0].bHasArg);
  // The configured rate limit (KB/s), then the service web seeds may use.
  const CString expected = args + " --minport " + std::to_string(port) + " --maxport " +
                           std::to_string(port + 10) + " --ratelimit 5120" +
                           " --service \"127.0.0.1:8088\"";
  EXPECT_EQ(component->calls[0].strArg, expected);
  EXPECT_EQ(ConfiguredPort(), std::to_string(port));
  const CString trace = home.TraceLog();
  EXPECT_NE(trace.find("BT下载端口:" + std::to_string(port)), CString::npos);
  EXPECT_NE(trace.find("启动BT的端口:" + expected), CString::npos);
  EXPECT_NE(trace.find("已经启动bt下载"), CString::npos);
  EXPECT_TRUE(box.texts.empty());
}

TEST_F(BTDownloadTest, ATakenPortIsReplacedAndRemembered) {
  CBoundPort taken;
  CConfigDoc::GetInstance()->SetPort(taken.Port());
  bt.CreateInstance();
  EXPECT_EQ(bt.StartBT("x"), TRUE);
  const int chosen = CConfigDoc::GetInstance()->GetPort();
  EXPECT_NE(chosen, taken.Port());
  EXPECT_GT(chosen, 0);
  EXPECT_EQ(ConfiguredPort(), std::to_string(chosen));
  EXPECT_EQ(component->calls[0].strArg, "x --minport " + std::to_string(chosen) + " --maxport " +
                                            std::to_string(chosen + 10) + " --ratelimit 5120" +
                                            " --service \"127.0.0.1:88\"");
}

TEST_F(BTDownloadTest, FiguresAreReadFromTheirOwnMethods) {
  bt.CreateInstance();
  component->strResult = "42.75";
  EXPECT_DOUBLE_EQ(bt.GetPercent(), 42.75);
  EXPECT_EQ(component->calls.back().id, Id("GetDownloadedPercent"));
  EXPECT_FALSE(component->calls.back().bHasArg);
  component->strResult = "-1";
  EXPECT_DOUBLE_EQ(bt.GetPercent(), -1.0);  // an error of the component
  component->strResult = "3600";
  EXPECT_EQ(bt.GetLeftTime(), 3600);
  EXPECT_EQ(component->calls.back().id, Id("GetLeftTime"));
  component->strResult = "-1";
  EXPECT_EQ(bt.GetLeftTime(), -1);
  component->strResult = "4";
  EXPECT_EQ(bt.GetPeerConnNum(), 4);
  EXPECT_EQ(component->calls.back().id, Id("GetPeerConnNum"));
  component->strResult = "512.5";
  EXPECT_DOUBLE_EQ(bt.GetDownloadRate(), 512.5);
  EXPECT_EQ(component->calls.back().id, Id("GetDownloadRate"));
  component->strResult = "种子文件无法读取";
  EXPECT_EQ(bt.GetLastError(), "种子文件无法读取");
  EXPECT_EQ(component->calls.back().id, Id("GetLastError"));
  component->strResult = "tracker: ok";
  EXPECT_EQ(bt.GetOtherRunInfo(1), "tracker: ok");
  EXPECT_EQ(component->calls.back().id, Id("GetOtherRunInfo"));
  EXPECT_TRUE(component->calls.back().bHasArg);
  EXPECT_EQ(component->calls.back().strArg, "1");
  bt.Exit();
  EXPECT_EQ(component->calls.back().id, Id("Exit"));
  EXPECT_FALSE(component->calls.back().bHasArg);
  // Not a number: read as nothing done yet rather than garbage.
  component->strResult = "";
  EXPECT_EQ(bt.GetPercent(), 0);
  EXPECT_EQ(bt.GetState(), 1);
}

TEST_F(BTDownloadTest, OneFailedPollLeavesTheDriverUnusable) {
  bt.CreateInstance();
  component->invokeResult = AUTO_E_DISCONNECTED;
  EXPECT_EQ(RaisedText([&] { bt.GetPercent(); }), "Invoke GetPercent() failure.hr:-2147417848");
  EXPECT_EQ(bt.GetState(), 0);
  component->invokeResult = AUTO_S_OK;
  component->strResult = "50";
  const size_t calls = component->calls.size();
  EXPECT_EQ(bt.GetPercent(), 0);
  EXPECT_EQ(bt.GetLeftTime(), 0);
  EXPECT_EQ(bt.GetPeerConnNum(), 0);
  EXPECT_EQ(bt.GetDownloadRate(), 0);
  EXPECT_EQ(bt.GetLastError(), "");
  bt.Exit();
  EXPECT_EQ(bt.GetOtherRunInfo(1), "");
  EXPECT_EQ(bt.StartBT("x"), FALSE);
  EXPECT_EQ(component->calls.size(), calls);
  const CString trace = home.TraceLog();
  EXPECT_NE(trace.find("CBTDownload::StartBT启动下载失败"), CString::npos);
  EXPECT_NE(trace.find("COM下载对象不存在"), CString::npos);
}

TEST_F(BTDownloadTest, EachFailingOperationNamesItself) {
  const std::vector<std::pair<CString, std::function<void(CBTDownload&)>>> ops = {
      {"GetLeftTime", [](CBTDownload& d) { d.GetLeftTime(); }},
      {"GetPeerConnNum", [](CBTDownload& d) { d.GetPeerConnNum(); }},
      {"GetDownloadRate", [](CBTDownload& d) { d.GetDownloadRate(); }},
      {"GetLastError", [](CBTDownload& d) { d.GetLastError(); }},
      {"Exit", [](CBTDownload& d) { d.Exit(); }},
  };
  for (const auto& op : ops) {
    CBTDownload driver;
    component->invokeResult = AUTO_S_OK;
    driver.CreateInstance();
    component->invokeResult = AUTO_E_FAIL;
    EXPECT_EQ(RaisedText([&] { op.second(driver); }),
              "Invoke " + op.first + "() failure.hr:-2147467259");
    EXPECT_EQ(driver.GetState(), 0) << op.first;
  }
}

TEST_F(BTDownloadTest, AFailedStartWarnsAboutSecuritySoftware) {
  bt.CreateInstance();
  component->invokeResult = AUTO_E_TIMEOUT;
  EXPECT_EQ(RaisedText([&] { bt.StartBT("x"); }), "Invoke StartBT() failure.hr:-2147417825");
  EXPECT_EQ(bt.GetState(), 0);
  EXPECT_EQ(box.texts, std::vector<CString>{
                           "Vadeko下载进程可能在安装时被安全软件拦截，请重新安装并添加信任操作"});
  const CString trace = home.TraceLog();
  EXPECT_NE(trace.find("Invoke StartBT() failure.hr:-2147417825"), CString::npos);
  EXPECT_EQ(trace.find("已经启动bt下载"), CString::npos);
}

TEST_F(BTDownloadTest, AFailedRunInfoKeepsTheDriverUsable) {
  bt.CreateInstance();
  component->invokeResult = AUTO_E_FAIL;
  EXPECT_EQ(RaisedText([&] { bt.GetOtherRunInfo(1); }),
            "Invoke GetOtherRunInfo() failure.hr:-2147467259");
  EXPECT_EQ(bt.GetState(), 1);
  component->invokeResult = AUTO_S_OK;
  component->strResult = "33";
  EXPECT_DOUBLE_EQ(bt.GetPercent(), 33.0);
}

TEST_F(BTDownloadTest, DestroyReleasesOnlyACreatedComponent) {
  bt.DestroyInstance();  // never created: nothing happens
  EXPECT_EQ(bt.GetState(), 0);
  bt.CreateInstance();
  EXPECT_EQ(component->iLiveObjects, 1);
  bt.Exit();
  bt.DestroyInstance();
  EXPECT_EQ(component->iLiveObjects, 0);
  // Released: later calls reach nothing and do not fail.
  const size_t calls = component->calls.size();
  EXPECT_EQ(bt.GetPercent(), 0);
  EXPECT_EQ(bt.StartBT("x"), FALSE);
  bt.Exit();
  EXPECT_EQ(component->calls.size(), calls);
}

TEST_F(BTDownloadTest, ATrackerOnThisMachineIsNamedOnlyBesideALocalService) {
  const CString ini = CString(home.Path()) + "config.ini";
  CProcessValues::SetRemoteSrvHost("127.0.0.1");
  CProcessValues::SetRemoteSrvPort(8088);
  EXPECT_EQ(CBTDownload::SourceArgs(), " --service \"127.0.0.1:8088\"");

  ASSERT_TRUE(IniWriteString(ini, "sys", "TrackerHost", "127.0.0.1:6969"));
  bt.CreateInstance();
  EXPECT_EQ(bt.StartBT("--responsefile \"/t\" --saveas \"/s\""), TRUE);
  ASSERT_EQ(component->calls.size(), 1u);
  const CString& line = component->calls[0].strArg;
  const CString tail = " --service \"127.0.0.1:8088\" --tracker \"127.0.0.1:6969\"";
  ASSERT_GE(line.size(), tail.size());
  EXPECT_EQ(line.substr(line.size() - tail.size()), tail);

  // A service elsewhere: its trackers need no word from the client.
  CProcessValues::SetRemoteSrvHost("films.lan");
  EXPECT_EQ(CBTDownload::SourceArgs(), " --service \"films.lan:8088\"");
  // Unusable entries are left out: no port, or not this machine.
  CProcessValues::SetRemoteSrvHost("localhost");
  for (const char* bad : {"127.0.0.1", "10.0.0.1:6969", "127.0.0.1:99999", "x y:1"}) {
    ASSERT_TRUE(IniWriteString(ini, "sys", "TrackerHost", bad));
    EXPECT_EQ(CBTDownload::SourceArgs(), " --service \"localhost:8088\"") << bad;
  }
}
