#include "zenuModule/src/UpdateControl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/FakeMessageBox.h"
#include "tests/support/HttpWait.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/IntfUpdateControl.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/Platform.h"
#include "zenuModule/src/desktop/Shell.h"
#include "zenuModule/src/desktop/UpdateVersionDialog.h"
#include "zenuModule/src/desktop/VersionStopDialog.h"

namespace {

CString Description(int newVersion, int abandonVersion, const CString& eol = "\n") {
  return "[update]" + eol + "NewVersionInternal=" + std::to_string(newVersion) + eol +
         "NewVersionDisplay=Vadeko2013春季版" + eol + "NewVersionFunction=更快的下载\\n新的界面" +
         eol + "AbandonVersionInternal=" + std::to_string(abandonVersion) + eol +
         "AbandonVersionDisplay=Vadeko2011版" + eol + "UpdateUrl=http://example.test/get" + eol;
}

class CEvents final : public CTemplIntfUpdateControlCaller {
 public:
  void OnIntfUpdateControlEvent(int iEvent) override { events.push_back(iEvent); }
  std::vector<int> events;
};

class CFakeShell final : public IShell {
 public:
  CFakeShell() { SetShell(this); }
  ~CFakeShell() override { SetShell(nullptr); }
  bool Open(const CString& target) override {
    opened.push_back(target);
    return true;
  }
  std::vector<CString> opened;
};

// Both dialogs: they record what they show and the events sent before them, and
// press "立即下载更新" when told to.
class CFakeUpdateDialogs final : public IUpdateVersionDialog, public IVersionStopDialog {
 public:
  explicit CFakeUpdateDialogs(const CEvents& events) : m_events(events) {
    SetUpdateVersionDialog(this);
    SetVersionStopDialog(this);
  }
  ~CFakeUpdateDialogs() override {
    SetUpdateVersionDialog(nullptr);
    SetVersionStopDialog(nullptr);
  }
  void DoModal(const SUpdateVersionDlgData& data,
               const std::function<void()>& onDownload) override {
    updates.push_back(data);
    eventsAtOpen.push_back(m_events.events.size());
    if (pressDownload) onDownload();
  }
  void DoModal(const SVersionStopDlgData& data, const std::function<void()>& onDownload) override {
    stops.push_back(data);
    eventsAtOpen.push_back(m_events.events.size());
    if (pressDownload) onDownload();
  }
  std::vector<SUpdateVersionDlgData> updates;
  std::vector<SVersionStopDlgData> stops;
  std::vector<size_t> eventsAtOpen;
  bool pressDownload = false;

 private:
  const CEvents& m_events;
};


// Serves update.ini with a content and status that the test changes between fetches.
class CUpdateServer {
 public:
  CUpdateServer() {
    server.Server().Get("/update_info/zenu/update.ini",
                        [this](const httplib::Request&, httplib::Response& res) {
                          std::lock_guard<std::mutex> lock(m_mutex);
                          ++fetches;
                          res.status = m_status;
                          res.set_content(m_text, "text/plain");
                        });
  }
  void Set(const CString& text, int status = 200) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_text = text;
    m_status = status;
  }
  CString Url(int port) const {
    return "http://127.0.0.1:" + std::to_string(port) + "/update_info/zenu/update.ini";
  }
  CLoopbackHttpServer server;
  std::atomic<int> fetches{0};

 private:
  std::mutex m_mutex;
  CString m_text;
  int m_status = 200;
};

class UpdateControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CPlatform::SetMainWindowCreated(true);
    CTimerControl::ResetInstance();
  }
  void TearDown() override {
    CIntfUpdateControl::ResetInstance();
    EXPECT_TRUE(WaitForWorkers());
    CTimerControl::ResetInstance();
    CPlatform::SetMainWindowCreated(false);
  }
  CTempHome home;
  CVirtualLoop loop;
  CFakeMessageBox box;
  CFakeShell shell;
  CEvents requester;
  CFakeUpdateDialogs dialogs{requester};
};

}  // namespace

TEST(UpdateDescriptionTest, UrlSplittingAndKeyReading) {
  CString url = "untouched";
  int port = -1;
  EXPECT_EQ(
      CUpdateControl::GetUrlAndPort("http://host:8080/update_info/zenu/update.ini", url, port), 1);
  EXPECT_EQ(url, "http://host/update_info/zenu/update.ini");
  EXPECT_EQ(port, 8080);
  url = "untouched";
  port = -1;
  EXPECT_EQ(CUpdateControl::GetUrlAndPort("http://host/update.ini", url, port), 0);
  EXPECT_EQ(url, "untouched");
  EXPECT_EQ(port, -1);
  EXPECT_EQ(CUpdateControl::GetUrlAndPort("http://host:81", url, port), 0);
  EXPECT_EQ(port, 81);
  CUpdateControl::SplitRequestUrl("http://host/update.ini", url, port);
  EXPECT_EQ(url, "http://host/update.ini");
  EXPECT_EQ(port, 80);
  CUpdateControl::SplitRequestUrl("http://host:8080/u.ini", url, port);
  EXPECT_EQ(url, "http://host/u.ini");
  EXPECT_EQ(port, 8080);

  CString value = "old";
  EXPECT_EQ(CUpdateControl::GetINIString("a=1\r\nb=2\r\n", "b", value), 1);
  EXPECT_EQ(value, "2\r");
  EXPECT_EQ(CUpdateControl::GetINIString("x NewKey=mid line\nNewKey=second", "NewKey", value), 1);
  EXPECT_EQ(value, "mid line");
  EXPECT_EQ(CUpdateControl::GetINIString("k=at the end", "k", value), 1);
  EXPECT_EQ(value, "at the end");
  EXPECT_EQ(CUpdateControl::GetINIString("k = spaced", "k", value), 0);
  EXPECT_EQ(value, "");

  CTempHome home;
  SVersionInfo info;
  ASSERT_EQ(CUpdateControl::SetVersionInfo(Description(180, 150, "\r\n"), info), 1);
  EXPECT_EQ(info.iNewVersion, 180);
  EXPECT_EQ(info.iAbandonVersion, 150);
  EXPECT_EQ(info.strNewDisplay, "Vadeko2013春季版\r");
  EXPECT_EQ(info.strNewFunction, "更快的下载\\n新的界面\r");
  EXPECT_EQ(info.strAbandonDisplay, "Vadeko2011版\r");
  EXPECT_EQ(info.strUpdateUrl, "http://example.test/get\r");
  CString partial = Description(180, 150);
  partial.erase(partial.find("AbandonVersionDisplay"));
  EXPECT_EQ(CUpdateControl::SetVersionInfo(partial, info), 0);
  EXPECT_NE(home.TraceLog().find("获取 AbandonVersionDisplay 出错"), CString::npos);
}

TEST_F(UpdateControlTest, SingleCheckShowsTheUpdateDialogForANewerVersionOnly) {
  CUpdateServer server;
  ASSERT_TRUE(server.server.Start());
  auto* updates = CIntfUpdateControl::GetInstance();
  const CString url = server.Url(server.server.Port());

  server.Set(Description(173, 100));
  dialogs.pressDownload = true;
  updates->Register(&requester, kProgramVersion, kDisplayName, url);
  ASSERT_TRUE(PumpUntil(loop, [&] { return !requester.events.empty(); }));
  EXPECT_EQ(requester.events, (std::vector<int>{UE_NEWER_VERSION}));
  ASSERT_EQ(dialogs.updates.size(), 1u);
  EXPECT_EQ(dialogs.eventsAtOpen, (std::vector<size_t>{0}));
  EXPECT_EQ(dialogs.updates[0].strCurrentDisplay, kDisplayName);
  EXPECT_EQ(dialogs.updates[0].strNewDisplay, "Vadeko2013春季版");
  EXPECT_EQ(dialogs.updates[0].strNewFunction, "更快的下载\r\n新的界面");
  EXPECT_EQ(dialogs.updates[0].strUpdateUrl, "http://example.test/get");
  EXPECT_EQ(shell.opened, (std::vector<CString>{"http://example.test/get"}));
  EXPECT_NE(home.TraceLog().find("update.ini, " + std::to_string(server.server.Port())),
            CString::npos);

  // Equal is not newer.
  server.Set(Description(kProgramVersion, 100));
  updates->Register(&requester, kProgramVersion, kDisplayName, url);
  ASSERT_TRUE(PumpUntil(loop, [&] { return requester.events.size() == 2; }));
  EXPECT_EQ(requester.events.back(), UE_UP_TO_DATE);

  server.Set("NewVersionInternal=200\nNewVersionDisplay=x\n");
  updates->Register(&requester, kProgramVersion, kDisplayName, url);
  ASSERT_TRUE(PumpUntil(loop, [&] { return requester.events.size() == 3; }));
  EXPECT_EQ(requester.events.back(), UE_PARSE_FAILED);
  const CString trace = home.TraceLog();
  EXPECT_NE(trace.find("获取 NewVersionFunction 出错"), CString::npos);
  EXPECT_NE(trace.find("解析ini文件失败"), CString::npos);

  // A failed fetch sends nothing.
  server.Set(Description(180, 100), 500);
  updates->Register(&requester, kProgramVersion, kDisplayName, url);
  ASSERT_TRUE(WaitForWorkers());
  loop.AdvanceBy(5000);
  EXPECT_EQ(requester.events.size(), 3u);
  EXPECT_EQ(dialogs.updates.size(), 1u);
  EXPECT_EQ(server.fetches, 4);
}

TEST_F(UpdateControlTest, RepeatedCheckRetriesEveryThirtySecondsUntilOneParses) {
  CUpdateServer server;
  ASSERT_TRUE(server.server.Start());
  auto* updates = CIntfUpdateControl::GetInstance();

  // Malformed first: event 2, and the fetches go on every 30 s until one parses.
  server.Set("garbage");
  updates->Register2(&requester, kProgramVersion, kDisplayName, server.Url(server.server.Port()));
  ASSERT_TRUE(PumpUntil(loop, [&] { return !requester.events.empty(); }));
  EXPECT_EQ(requester.events, (std::vector<int>{UE_PARSE_FAILED}));
  EXPECT_EQ(server.fetches, 1);
  loop.AdvanceBy(25000);
  EXPECT_EQ(server.fetches, 1);
  // Not retired: the repeat ends without an event.
  server.Set(Description(180, 171));
  ASSERT_TRUE(PumpUntil(loop, [&] { return server.fetches == 2; }));
  ASSERT_TRUE(WaitForWorkers());
  loop.AdvanceBy(2000);
  EXPECT_EQ(requester.events.size(), 1u);
  loop.AdvanceBy(120000);
  EXPECT_EQ(server.fetches, 2);
  EXPECT_TRUE(dialogs.stops.empty());
}

TEST_F(UpdateControlTest, RetiredVersionAfterTheServiceBecomesReachable) {
  CUpdateServer server;
  const int port = CLoopbackHttpServer::UnusedPort();
  auto* updates = CIntfUpdateControl::GetInstance();
  dialogs.pressDownload = true;
  updates->Register2(&requester, kProgramVersion, kDisplayName, server.Url(port));
  // Unreachable: no event, no message, the repeat goes on.
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(WaitForWorkers());
    loop.AdvanceBy(30000);
  }
  EXPECT_TRUE(requester.events.empty());
  EXPECT_TRUE(box.texts.empty());
  // Retired equals the running version: it counts as retired.
  server.Set(Description(180, kProgramVersion));
  ASSERT_TRUE(server.server.Start(port));
  ASSERT_TRUE(PumpUntil(
      loop, [&] { return !requester.events.empty(); }, 20000));
  EXPECT_EQ(requester.events, (std::vector<int>{UE_VERSION_RETIRED}));
  ASSERT_EQ(dialogs.stops.size(), 1u);
  EXPECT_EQ(dialogs.eventsAtOpen, (std::vector<size_t>{0}));
  EXPECT_EQ(dialogs.stops[0].strCurrentDisplay, kDisplayName);
  EXPECT_EQ(dialogs.stops[0].strUpdateUrl, "http://example.test/get");
  EXPECT_EQ(shell.opened, (std::vector<CString>{"http://example.test/get"}));
  const int fetches = server.fetches;
  loop.AdvanceBy(120000);
  EXPECT_EQ(server.fetches, fetches);
  EXPECT_EQ(requester.events.size(), 1u);
}

TEST_F(UpdateControlTest, OnlyWebAddressesFromTheServiceReachTheDesktopOpener) {
  for (const char* url : {"file:///etc/passwd", "javascript:alert(1)", "smb://host/share",
                          "-x http://a/", "http:///nohost", "http://a b/", "HTTP", ""}) {
    CUpdateControl::OpenUpdateUrl(url);
  }
  EXPECT_TRUE(shell.opened.empty());
  CUpdateControl::OpenUpdateUrl("https://example.test/get");
  CUpdateControl::OpenUpdateUrl("HTTP://example.test/get");
  EXPECT_EQ(shell.opened,
            (std::vector<CString>{"https://example.test/get", "HTTP://example.test/get"}));
  EXPECT_NE(home.ErrorLog().find("Update url refused: file:///etc/passwd"), CString::npos);
}
