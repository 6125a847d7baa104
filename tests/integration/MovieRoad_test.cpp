// The road of a movie through the real processes: the service pushes it, the
// client downloads it with its BitTorrent component from the service's web
// seed into a Chinese-named folder, announces it, plays it, rates it and
// deletes it with its files.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <sstream>

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
#include "store/IntfDB.h"
#include "store/MultiUserMgr.h"
#include "tests/app/RecordingLinks.h"
#include "tests/componentrig/ChildProcesses.h"
#include "tests/componentrig/ServiceRequests.h"
#include "tests/integration/CoreSessionFixture.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/HttpWait.h"
#include "tests/support/ProcessState.h"
#include "tests/support/TempHome.h"
#include "zenuModule/src/CmdParams.h"
#include "zenuModule/src/HttpReqControl.h"
#include "zenuModule/src/IntfHttpReq.h"
#include "zenuModule/src/IntfScheduleControl.h"
#include "zenuModule/src/IntfUpdateControl.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/IniFile.h"
#include "zenuModule/src/desktop/NetworkSense.h"
#include "zenuModule/src/desktop/Platform.h"
#include "zenuModule/src/desktop/RecordDialogs.h"

namespace {
const char kDigest[] = "0123456789abcdef0123456789abcdef";

// The delete question answered with OK and the files box ticked.
class CConfirmingDelete final : public IDeleteTaskDialog {
 public:
  CConfirmingDelete() { SetDeleteTaskDialog(this); }
  ~CConfirmingDelete() override { SetDeleteTaskDialog(nullptr); }
  int DoModal(const CString& question, int* pbDeleteFiles) override {
    questions.push_back(question);
    *pbDeleteFiles = 1;
    return IDOK;
  }
  std::vector<CString> questions;
};

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class MovieRoadTest : public CoreSessionTest {
 protected:
  void SetUp() override {
    CoreSessionTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(::symlink(ZENU_BTDOWNLOAD_EXE, (home.Path() + "zenu-btdownload").c_str()), 0);
    std::ofstream(home.Path() + "UI.ini") << ReadBytes(VADEKO_SOURCE_DIR "/resources/UI.ini");
    // xdg-open as the desktop would run it: here it only notes what it opened.
    const std::string bin = home.Path() + "bin";
    ASSERT_EQ(::mkdir(bin.c_str(), 0755), 0);
    {
      std::ofstream script(bin + "/xdg-open");
      script << "#!/bin/sh\nprintf '%s' \"$1\" > '" << home.Path() << "opened.txt'\n";
    }
    ::chmod((bin + "/xdg-open").c_str(), 0755);
    m_oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin + ":" + m_oldPath).c_str(), 1);
  }
  void TearDown() override {
    if (!m_oldPath.empty()) setenv("PATH", m_oldPath.c_str(), 1);
    app.reset();
    // The component lives as long as this process stays on the bus; the next
    // test's client did not start it and would rightly refuse it.
    for (const char* name : {"zenu.BTDownload", "zenu.LocalServer"}) {
      const QDBusReply<uint> pid =
          QDBusConnection::sessionBus().interface()->servicePid(QString::fromLatin1(name));
      if (!pid.isValid()) continue;
      ::kill(static_cast<pid_t>(pid.value()), SIGTERM);
      QElapsedTimer clock;
      clock.start();
      while (!ProcessGone(pid.value()) && clock.elapsed() < 10000) QThread::msleep(20);
    }
    CoreSessionTest::TearDown();
  }
  CRecord Get(uint32_t gid) {
    CRecord r;
    CIntfDB::GetInstance()->GetOneRecordData(gid, &r);
    return r;
  }

  CString Save() const { return Utf8ToGBK(home.Path()) + "我的电影"; }

  // A user who logged in before (automatic login, push method chosen, a Chinese
  // save folder) starts the program; gid is the first BitTorrent movie pushed.
  // bConfigured: config.ini alone names the service (no command line port).
  void StartAndWaitForAPush(CRecordingFrame& frame, uint32_t& gid, const CString& rateLimit = "0",
                            bool bConfigured = false) {
    const CString user = "观众";
    ASSERT_TRUE(service::Register(service.Port(), user));
    CMultiUserMgr::GetInstance()->SaveAccountAndPwd(user, kDigest);
    const CString userIni = CMultiUserMgr::GetInstance()->GetLoginingUserPath();
    IniWriteString(userIni, "User", "Saveas", Save());
    IniWriteString(userIni, "User", "RateLimit", rateLimit);
    for (const char* key : {"ChoosePushMethod", "FirstRun", "Usuage"})
      IniWriteString(userIni, "Prompt", key, "1");
    CMainDoc::GetInstance()->SetMainFrame(&frame);
    app = std::make_unique<CUApp>(framework);
    port = std::to_string(service.Port());
    const char* argv[] = {"vadeko", "-server_port", port.c_str()};
    if (bConfigured) {
      ASSERT_TRUE(
          IniWriteString(GetExePath(0) + "config.ini", "sys", "ServiceHost", "127.0.0.1:" + port));
    }
    ASSERT_TRUE(app->InitInstance(bConfigured ? 1 : 3, argv)) << home.ErrorLog();
    ASSERT_TRUE(RunUntil(
        [&] {
          CGIDList ids;
          if (CIntfDB::HasInstance()) CIntfDB::GetInstance()->GetGIDList(RS_NEW, &ids, 0);
          for (uint32_t id : ids)
            if (Get(id).GetFetchMethod() == 1) gid = id;
          return gid != 0;
        },
        30000))
        << home.ErrorLog() << home.TraceLog();
  }

  CServiceProcess service;
  CTestFramework framework;
  std::unique_ptr<CUApp> app;
  std::string port;
  std::string m_oldPath;
};
}  // namespace

TEST_F(MovieRoadTest, PushedDownloadedAnnouncedPlayedRatedDeleted) {
  ASSERT_TRUE(service.Start(home.Path() + "service-data", 0, 30)) << service.Output();
  CRecordingFrame frame;
  uint32_t gid = 0;
  ASSERT_NO_FATAL_FAILURE(StartAndWaitForAPush(frame, gid));
  CPushDoc* doc = CPushDoc::GetInstance();
  const CString save = Save();
  const CRecord pushed = Get(gid);
  EXPECT_EQ(pushed.GetLocalAbsPath().find(save + "/"), 0u);

  // Downloaded through the bus from the web seed.
  doc->ChangeNewTaskEx(static_cast<int>(gid));
  ASSERT_EQ(doc->GetSelectedGIDs(), std::vector<uint32_t>{gid});
  doc->OnDownloadRecord();
  ASSERT_TRUE(RunUntil([&] { return Get(gid).GetStatus() == RS_DOWNLOADED; }, 60000))
      << "status " << Get(gid).GetStatus() << "\n"
      << home.ErrorLog() << boxes.texts.size();
  EXPECT_TRUE(PathExists(GetExePath(0) + StringFormat("data/%u/%u.torrent", gid, gid)));
  const std::vector<CString> files = ListFolder(pushed.GetLocalAbsPath());
  ASSERT_EQ(files.size(), 1u);
  httplib::Client http("127.0.0.1", service.Port());
  const auto content =
      http.Get(StringFormat("/content/%u/%s", gid, GBKToUtf8(files[0]).c_str()).c_str());
  ASSERT_TRUE(content && content->status == 200);
  EXPECT_EQ(ReadBytes(GBKToUtf8(pushed.GetLocalAbsPath() + "/" + files[0])), content->body)
      << "byte-identical";

  // Announced: the balloon names the movie; its click selects it in "已下载".
  bool announced = false;
  for (const SMainDocEvent& e : frame.events)
    announced |= e.iType == 0 && e.strInfo2 == StringFormat("电影:\"%s\"下载已经完成",
                                                            pushed.GetTaskDisplayName().c_str());
  EXPECT_TRUE(announced);
  SMainFrameEvent click;
  click.iType = 3;
  CMainDoc::GetInstance()->OnMainFrameEvent(click);
  EXPECT_EQ(doc->GetCurCategory(), PC_DOWNLOADED);
  EXPECT_EQ(doc->GetSelectedGIDs(), std::vector<uint32_t>{gid});

  // Played: the desktop's opener gets the movie file.
  doc->OnPlay();
  const std::string opened = home.Path() + "opened.txt";
  ASSERT_TRUE(RunUntil([&] { return !ReadBytes(opened).empty(); }, 10000));
  EXPECT_EQ(ReadBytes(opened), GBKToUtf8(pushed.GetLocalAbsPath() + "/" + files[0]));

  // Rated: stored once the service took the report.
  doc->OnEvalLike();
  ASSERT_TRUE(RunUntil([&] { return Get(gid).GetEval() == 4; }, 30000)) << home.ErrorLog();

  // Deleted with its files: exactly this movie's folders go.
  const CString sibling = save + "/别的电影";
  CheckFolder(sibling, 1);
  CheckFolder(GetExePath(0) + "data/999999", 1);
  CConfirmingDelete confirm;
  doc->OnDeleteRecord();
  ASSERT_EQ(confirm.questions.size(), 1u);
  EXPECT_EQ(Get(gid).GetStatus(), RS_DELETED);
  EXPECT_FALSE(PathExists(pushed.GetLocalAbsPath()));
  EXPECT_FALSE(PathExists(GetExePath(0) + StringFormat("data/%u", gid)));
  EXPECT_TRUE(IsFolder(sibling));
  EXPECT_TRUE(IsFolder(save));
  EXPECT_TRUE(IsFolder(GetExePath(0) + "data/999999"));

  // The quit sequence ends the local server and closes the frame.
  const QDBusReply<uint> local =
      QDBusConnection::sessionBus().interface()->servicePid(QStringLiteral("zenu.LocalServer"));
  ASSERT_TRUE(local.isValid());
  SMainFrameEvent quit;
  quit.iType = 0;
  CMainDoc::GetInstance()->OnMainFrameEvent(quit);
  ASSERT_TRUE(RunUntil([&] { return !frame.events.empty() && frame.events.back().iType == 5; }));
  QElapsedTimer clock;
  clock.start();
  while (!ProcessGone(local.value()) && clock.elapsed() < 10000) QThread::msleep(20);
  EXPECT_TRUE(ProcessGone(local.value()));
  EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();
  EXPECT_EQ(home.ErrorLog(), "");
}

TEST_F(MovieRoadTest, AKilledDownloaderStopsTheRecordAndTheNextStartGoesOn) {
  // Movies of a few MiB at 128 KB/s: time enough to kill the component mid-way.
  ASSERT_TRUE(service.Start(home.Path() + "service-data", 0, 30, 2048, 3072)) << service.Output();
  CRecordingFrame frame;
  uint32_t gid = 0;
  ASSERT_NO_FATAL_FAILURE(StartAndWaitForAPush(frame, gid, "128"));
  CPushDoc* doc = CPushDoc::GetInstance();
  doc->ChangeNewTaskEx(static_cast<int>(gid));
  doc->OnDownloadRecord();
  ASSERT_TRUE(RunUntil([&] { return Get(gid).GetDownloadedPercent() >= 1; }, 60000))
      << home.ErrorLog();
  const QDBusReply<uint> bt =
      QDBusConnection::sessionBus().interface()->servicePid(QStringLiteral("zenu.BTDownload"));
  ASSERT_TRUE(bt.isValid());
  ASSERT_EQ(::kill(static_cast<pid_t>(bt.value()), SIGKILL), 0);

  ASSERT_TRUE(RunUntil([&] { return Get(gid).GetStatus() == RS_STOPPED; }, 20000))
      << Get(gid).GetStatus();
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_NE(boxes.texts[0].find("下载进程意外退出"), CString::npos);
  EXPECT_NE(home.ErrorLog().find("Invoke GetPercent() failure"), CString::npos);

  // Started again, unlimited: a new component finishes it, byte-identical.
  IniWriteString(CMultiUserMgr::GetInstance()->GetLoginingUserPath(), "User", "RateLimit", "0");
  CConfigDoc::GetInstance()->LoadConfig();
  doc->ChangeDownloadingEx(static_cast<int>(gid));
  doc->OnDownloadRecord();
  ASSERT_TRUE(RunUntil([&] { return Get(gid).GetStatus() == RS_DOWNLOADED; }, 60000))
      << home.ErrorLog();
  const CRecord done = Get(gid);
  const std::vector<CString> files = ListFolder(done.GetLocalAbsPath());
  ASSERT_EQ(files.size(), 1u);
  httplib::Client http("127.0.0.1", service.Port());
  const auto content =
      http.Get(StringFormat("/content/%u/%s", gid, GBKToUtf8(files[0]).c_str()).c_str());
  ASSERT_TRUE(content && content->status == 200);
  EXPECT_EQ(ReadBytes(GBKToUtf8(done.GetLocalAbsPath() + "/" + files[0])), content->body);
  EXPECT_EQ(boxes.texts.size(), 1u);
}

TEST_F(MovieRoadTest, AServiceNamedOnlyInConfigIniPushesAMovieThatDownloadsByteIdentical) {
  ASSERT_TRUE(service.Start(home.Path() + "service-data", 0, 30)) << service.Output();
  // Neither the environment nor the command line names the service.
  unsetenv("VADEKO_REMOTE_HOST");
  CRecordingFrame frame;
  uint32_t gid = 0;
  ASSERT_NO_FATAL_FAILURE(StartAndWaitForAPush(frame, gid, "0", true));
  EXPECT_EQ(CProcessValues::GetRemoteSrvPort(), service.Port());
  CPushDoc* doc = CPushDoc::GetInstance();
  doc->ChangeNewTaskEx(static_cast<int>(gid));
  doc->OnDownloadRecord();
  ASSERT_TRUE(RunUntil([&] { return Get(gid).GetStatus() == RS_DOWNLOADED; }, 60000))
      << home.ErrorLog();
  const CRecord done = Get(gid);
  const std::vector<CString> files = ListFolder(done.GetLocalAbsPath());
  ASSERT_EQ(files.size(), 1u);
  httplib::Client http("127.0.0.1", service.Port());
  const auto content =
      http.Get(StringFormat("/content/%u/%s", gid, GBKToUtf8(files[0]).c_str()).c_str());
  ASSERT_TRUE(content && content->status == 200);
  EXPECT_EQ(ReadBytes(GBKToUtf8(done.GetLocalAbsPath() + "/" + files[0])), content->body);
  EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();
}
