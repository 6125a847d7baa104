// The road of a movie through the real processes: the service pushes it, the
// client downloads it with its BitTorrent component from the service's web
// seed into a Chinese-named folder, announces it, plays it, rates it and
// deletes it with its files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

#include "account/Cmd5Capi.h"
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
#include "zenuModule/src/desktop/LoginDialog.h"
#include "zenuModule/src/desktop/NetworkSense.h"
#include "zenuModule/src/desktop/Platform.h"
#include "zenuModule/src/desktop/RecordDialogs.h"
#include "zenuModule/src/desktop/RegisterDialog.h"

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

// Two network namespaces of the test's own joined by a veth pair: the
// service's side 10.213.0.1, the client's side 10.213.0.2. The calling thread
// (and whatever it starts from then on) lives in the client's side until the
// pair is closed; EnterService() and EnterClient() move it across.
class CNetworkPair final {
 public:
  ~CNetworkPair() { Close(); }
  // False with the reason when the machine does not allow it.
  bool Open(std::string& why) {
    if (::geteuid() != 0) return Fail(why, "needs root for network namespaces");
    if (std::system("ip -V >/dev/null 2>&1") != 0) return Fail(why, "needs ip (iproute2)");
    m_orig = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (m_orig < 0 || ::unshare(CLONE_NEWNET) != 0)
      return Fail(why, "unshare(CLONE_NEWNET) failed");
    m_service = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    // A process that keeps the service's side named by a pid for ip.
    m_holder = ::fork();
    if (m_holder == 0) {
      for (;;) ::pause();
    }
    if (m_holder < 0 || ::setns(m_orig, CLONE_NEWNET) != 0 || ::unshare(CLONE_NEWNET) != 0)
      return Fail(why, "a second namespace failed");
    m_client = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const std::string peer = std::to_string(m_holder);
    if (!Run("ip link set lo up") ||
        !Run("ip link add vdk0 type veth peer name vdk1 netns " + peer) ||
        !Run("ip addr add 10.213.0.2/24 dev vdk0") || !Run("ip link set vdk0 up") ||
        !EnterService() || !Run("ip link set lo up") ||
        !Run("ip addr add 10.213.0.1/24 dev vdk1") || !Run("ip link set vdk1 up") || !EnterClient())
      return Fail(why, "the veth pair could not be set up");
    return true;
  }
  bool EnterService() { return ::setns(m_service, CLONE_NEWNET) == 0; }
  bool EnterClient() { return ::setns(m_client, CLONE_NEWNET) == 0; }
  // Back where the thread started; the namespaces go with their last process.
  void Close() {
    if (m_orig >= 0) ::setns(m_orig, CLONE_NEWNET);
    if (m_holder > 0) {
      ::kill(m_holder, SIGKILL);
      ::waitpid(m_holder, nullptr, 0);
      m_holder = 0;
    }
    for (int* fd : {&m_orig, &m_service, &m_client}) {
      if (*fd >= 0) ::close(*fd);
      *fd = -1;
    }
  }

 private:
  static bool Run(const std::string& command) {
    return std::system((command + " 2>/dev/null").c_str()) == 0;
  }
  bool Fail(std::string& why, const char* text) {
    why = text;
    Close();
    return false;
  }
  int m_orig = -1;
  int m_service = -1;
  int m_client = -1;
  pid_t m_holder = 0;
};

// The login dialog as a user on the client's side answers it: the name, the
// password, and the "服务器" field as it was filled.
class CTypingLoginDialog final : public ILoginDialog {
 public:
  CTypingLoginDialog(const CString& user, const CString& password)
      : m_user(user), m_password(password) {
    SetLoginDialog(this);
  }
  ~CTypingLoginDialog() override { SetLoginDialog(nullptr); }
  int DoModal(const RegLoginEventSink& onEvent) override {
    ++opened;
    m_bEnded = false;
    m_iResult = IDCANCEL;
    SRegLoginDlgEvent opening;
    opening.iType = 4;
    onEvent(opening);
    CPlatform::Loop()->Post([this, onEvent] {
      if (registerFirst) {
        SRegLoginDlgEvent open;
        open.iType = 2;
        onEvent(open);
      }
      SRegLoginDlgEvent login;
      login.iType = 1;
      login.strText1 = m_user;
      login.strText2 = m_password;
      login.strText3 = shownServer;
      onEvent(login);
      // A refused login would wait for another try: there is none.
      if (!m_bEnded) EndDialog(IDCANCEL);
    });
    CPlatform::Loop()->RunModal([this] { return m_bEnded; });
    return m_iResult;
  }
  void OnUpdate(const SRegLoginDlgEvent& evt) override {
    if (evt.iType == 0) EndDialog(IDOK);
    if (evt.iType == 1 && !evt.strText3.empty()) shownServer = evt.strText3;
  }
  void EndDialog(int result) override {
    m_bEnded = true;
    m_iResult = result;
  }
  void BringToFront() override {}

  CString shownServer;
  int opened = 0;
  bool registerFirst = false;  // "十秒钟注册" before "登录"

 private:
  CString m_user;
  CString m_password;
  bool m_bEnded = false;
  int m_iResult = IDCANCEL;
};

// The registration dialog as the user fills it: name, password twice, "注册".
class CTypingRegisterDialog final : public IRegisterDialog {
 public:
  CTypingRegisterDialog(const CString& user, const CString& password)
      : m_user(user), m_password(password) {
    SetRegisterDialog(this);
  }
  ~CTypingRegisterDialog() override { SetRegisterDialog(nullptr); }
  int DoModal(const RegLoginEventSink& onEvent) override {
    m_bEnded = false;
    CPlatform::Loop()->Post([this, onEvent] {
      SRegLoginDlgEvent reg;
      reg.iType = 0;
      reg.strText1 = m_user;
      reg.strText2 = m_password;
      reg.strText3 = m_password;
      onEvent(reg);
      if (!m_bEnded) EndDialog(IDCANCEL);
    });
    CPlatform::Loop()->RunModal([this] { return m_bEnded; });
    return m_iResult;
  }
  void OnUpdate(const SRegLoginDlgEvent& evt) override {
    if (evt.iType == 0) EndDialog(IDOK);
  }
  void EndDialog(int result) override {
    m_bEnded = true;
    m_iResult = result;
  }
  void BringToFront() override {}

 private:
  CString m_user;
  CString m_password;
  bool m_bEnded = false;
  int m_iResult = IDCANCEL;
};

// An authority of the test's own in dir/ca.pem and a server certificate from
// it (dir/server.pem, dir/server.key) for altNames ("IP:127.0.0.1").
bool MakeCertificates(const std::string& dir, const std::string& altNames) {
  const std::string script =
      "cd '" + dir + "' && (printf 'subjectAltName=" + altNames +
      "\\n' > ext && "
      "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 "
      "-subj /CN=VadekoTestAuthority -addext basicConstraints=critical,CA:TRUE "
      "-addext keyUsage=critical,keyCertSign,cRLSign && "
      "openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=service && "
      "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 "
      "-extfile ext -out server.pem) >/dev/null 2>&1";
  return ::mkdir(dir.c_str(), 0700) == 0 && std::system(script.c_str()) == 0;
}

class MovieRoadTest : public CoreSessionTest {
 protected:
  void SetUp() override {
    CoreSessionTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    // A component of the test before may still be on its way out.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000 &&
           QDBusConnection::sessionBus().interface()->isServiceRegistered(
               QStringLiteral("zenu.LocalServer")))
      QThread::msleep(20);
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
    TearDownComponents();
    for (const char* name : {"SSL_CERT_FILE", "CURL_CA_BUNDLE"}) unsetenv(name);
    for (const auto& [name, value] : m_oldCa) setenv(name.c_str(), value.c_str(), 1);
    CoreSessionTest::TearDown();
  }
  void TearDownComponents() {
    app.reset();
    // The component lives as long as this process stays on the bus; the next
    // test's client did not start it and would rightly refuse it.
    for (const char* name : {"zenu.BTDownload", "zenu.BTShare", "zenu.LocalServer"}) {
      const QDBusReply<uint> pid =
          QDBusConnection::sessionBus().interface()->servicePid(QString::fromLatin1(name));
      if (!pid.isValid()) continue;
      ::kill(static_cast<pid_t>(pid.value()), SIGTERM);
      QElapsedTimer clock;
      clock.start();
      while (!ProcessGone(pid.value()) && clock.elapsed() < 10000) QThread::msleep(20);
    }
  }
  CRecord Get(uint32_t gid) {
    CRecord r;
    CIntfDB::GetInstance()->GetOneRecordData(gid, &r);
    return r;
  }
  // The last new push that downloads by BitTorrent, or 0 while there is none.
  uint32_t NewBitTorrentPush() {
    CGIDList ids;
    if (CIntfDB::HasInstance()) CIntfDB::GetInstance()->GetGIDList(RS_NEW, &ids, 0);
    uint32_t gid = 0;
    for (uint32_t id : ids)
      if (Get(id).GetFetchMethod() == 1) gid = id;
    return gid;
  }
  // The finished movie's one file holds byte for byte what the service serves.
  template <class Client>
  static void ExpectAsServed(const CRecord& record, Client& http) {
    const std::vector<CString> files = ListFolder(record.GetLocalAbsPath());
    ASSERT_EQ(files.size(), 1u);
    const auto content = http.Get(
        StringFormat("/content/%u/%s", record.GetGID(), GBKToUtf8(files[0]).c_str()).c_str());
    ASSERT_TRUE(content && content->status == 200);
    EXPECT_EQ(ReadBytes(GBKToUtf8(record.GetLocalAbsPath() + "/" + files[0])), content->body)
        << "byte-identical";
  }

  CString Save() const { return Utf8ToGBK(home.Path()) + "我的电影"; }

  // The service speaks https only, with a certificate for altNames from the
  // test's authority, which the client's side trusts through SSL_CERT_FILE;
  // config.ini names it "https://127.0.0.1:<port>". A user of this machine
  // logs in through the dialog (not automatically).
  void StartHttpsService(const std::string& altNames) {
    const std::string dir = home.Path() + "tls";
    ASSERT_TRUE(MakeCertificates(dir, altNames)) << "openssl";
    for (const char* name : {"SSL_CERT_FILE", "CURL_CA_BUNDLE"}) {
      if (const char* old = std::getenv(name)) m_oldCa.emplace_back(name, old);
      setenv(name, (dir + "/ca.pem").c_str(), 1);
    }
    service.SetExtraArguments({"--tls-cert", QString::fromStdString(dir + "/server.pem"),
                               "--tls-key", QString::fromStdString(dir + "/server.key")});
    ASSERT_TRUE(service.Start(home.Path() + "service-data", 0, 30)) << service.Output();
    unsetenv("VADEKO_REMOTE_HOST");
    address = "https://127.0.0.1:" + std::to_string(service.Port());
    CMultiUserMgr::GetInstance()->SaveAccountAndPwd("tlsuser", kDigest);  // not the password's
    const CString userIni = CMultiUserMgr::GetInstance()->GetLoginingUserPath();
    IniWriteString(userIni, "User", "Saveas", Save());
    IniWriteString(userIni, "User", "RateLimit", "0");
    for (const char* key : {"ChoosePushMethod", "FirstRun", "Usuage"})
      IniWriteString(userIni, "Prompt", key, "1");
    IniWriteString(GetExePath(0) + "config.ini", "sys", "AutoLogin", "0");
    IniWriteString(GetExePath(0) + "config.ini", "sys", "ServiceHost", address);
  }
  std::string address;
  std::vector<std::pair<std::string, std::string>> m_oldCa;

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
    ASSERT_TRUE(RunUntil([&] { return (gid = NewBitTorrentPush()) != 0; }, 30000))
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
  doc->ChangeNewTaskEx(gid);
  ASSERT_EQ(doc->GetSelectedGIDs(), std::vector<uint32_t>{gid});
  doc->OnDownloadRecord();
  ASSERT_TRUE(RunUntil([&] { return Get(gid).GetStatus() == RS_DOWNLOADED; }, 60000))
      << "status " << Get(gid).GetStatus() << "\n"
      << home.ErrorLog() << boxes.texts.size();
  EXPECT_TRUE(PathExists(GetExePath(0) + StringFormat("data/%u/%u.torrent", gid, gid)));
  httplib::Client http("127.0.0.1", service.Port());
  ASSERT_NO_FATAL_FAILURE(ExpectAsServed(Get(gid), http));
  const std::vector<CString> files = ListFolder(pushed.GetLocalAbsPath());

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

// What the sharing component itself says: "<count> <KB/s>"; empty when it is not there.
static QString ShareStatusOnTheBus() {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("zenu.BTShare"), QStringLiteral("/"), QStringLiteral("zenu.BTShare"),
      QStringLiteral("GetShareStatus"));
  const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
  return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
             ? reply.arguments().at(0).toString()
             : QString();
}

TEST_F(MovieRoadTest, AFinishedMovieIsSharedUntilItIsDeletedAndTheClientQuits) {
  ASSERT_TRUE(service.Start(home.Path() + "service-data", 0, 30)) << service.Output();
  CRecordingFrame frame;
  uint32_t gid = 0;
  ASSERT_NO_FATAL_FAILURE(StartAndWaitForAPush(frame, gid));
  CPushDoc* doc = CPushDoc::GetInstance();
  doc->ChangeNewTaskEx(static_cast<int>(gid));
  doc->OnDownloadRecord();
  ASSERT_TRUE(RunUntil([&] { return Get(gid).GetStatus() == RS_DOWNLOADED; }, 60000))
      << home.ErrorLog();

  // Offered once the downloader let go of it; the component and the pane agree.
  CShareKeeper& keeper = doc->ShareKeeper();
  ASSERT_TRUE(RunUntil([&] { return keeper.Shared() == std::vector<uint32_t>{gid}; }, 20000))
      << home.TraceLog();
  EXPECT_TRUE(ShareStatusOnTheBus().startsWith(QStringLiteral("1 ")));
  const auto sharePane = [&] {
    for (auto e = frame.events.rbegin(); e != frame.events.rend(); ++e)
      if (e->iType == 4 && e->iParam == CShareKeeper::kStatusPane) return e->strText;
    return CString("(never set)");
  };
  const CString shown = "正在分享 1 部电影 ↑ ";
  ASSERT_TRUE(RunUntil([&] { return sharePane().compare(0, shown.size(), shown) == 0; }, 10000))
      << sharePane();
  EXPECT_EQ(sharePane().substr(sharePane().size() - 5), " KB/s");

  // Deleted with its files: the component shares nothing before they go.
  const CString folder = Get(gid).GetLocalAbsPath();
  CConfirmingDelete confirm;
  doc->ChangeDownloadedEx(static_cast<int>(gid));
  ASSERT_EQ(doc->GetSelectedGIDs(), std::vector<uint32_t>{gid});
  doc->OnDeleteRecord();
  EXPECT_TRUE(keeper.Shared().empty());
  EXPECT_TRUE(ShareStatusOnTheBus().startsWith(QStringLiteral("0 ")));
  EXPECT_FALSE(PathExists(folder));
  EXPECT_NE(home.TraceLog().find(StringFormat("停止分享 %u", gid)), CString::npos);
  ASSERT_TRUE(RunUntil([&] { return sharePane().empty(); }, 10000)) << sharePane();

  // Ended with the client.
  const QDBusReply<uint> share =
      QDBusConnection::sessionBus().interface()->servicePid(QStringLiteral("zenu.BTShare"));
  ASSERT_TRUE(share.isValid());
  SMainFrameEvent quit;
  quit.iType = 0;
  CMainDoc::GetInstance()->OnMainFrameEvent(quit);
  ASSERT_TRUE(RunUntil([&] { return !frame.events.empty() && frame.events.back().iType == 5; }));
  QElapsedTimer clock;
  clock.start();
  while (!ProcessGone(share.value()) && clock.elapsed() < 10000) QThread::msleep(20);
  EXPECT_TRUE(ProcessGone(share.value()));
  EXPECT_EQ(home.ErrorLog(), "");
}

TEST_F(MovieRoadTest, AKilledDownloaderStopsTheRecordAndTheNextStartGoesOn) {
  // Movies of a few MiB at 128 KB/s: time enough to kill the component mid-way.
  ASSERT_TRUE(service.Start(home.Path() + "service-data", 0, 30, 2048, 3072)) << service.Output();
  CRecordingFrame frame;
  uint32_t gid = 0;
  ASSERT_NO_FATAL_FAILURE(StartAndWaitForAPush(frame, gid, "128"));
  CPushDoc* doc = CPushDoc::GetInstance();
  doc->ChangeNewTaskEx(gid);
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
  doc->ChangeDownloadingEx(gid);
  doc->OnDownloadRecord();
  ASSERT_TRUE(RunUntil([&] { return Get(gid).GetStatus() == RS_DOWNLOADED; }, 60000))
      << home.ErrorLog();
  httplib::Client http("127.0.0.1", service.Port());
  ASSERT_NO_FATAL_FAILURE(ExpectAsServed(Get(gid), http));
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
  doc->ChangeNewTaskEx(gid);
  doc->OnDownloadRecord();
  ASSERT_TRUE(RunUntil([&] { return Get(gid).GetStatus() == RS_DOWNLOADED; }, 60000))
      << home.ErrorLog();
  httplib::Client http("127.0.0.1", service.Port());
  ASSERT_NO_FATAL_FAILURE(ExpectAsServed(Get(gid), http));
  EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();
}

TEST_F(MovieRoadTest, TheWholeRoadRunsBetweenTwoMachinesOfANetwork) {
  CNetworkPair network;
  std::string why;
  if (!network.Open(why)) GTEST_SKIP() << "two network namespaces: " << why;
  // The service on one end of the pair, listening there only.
  ASSERT_TRUE(network.EnterService());
  service.SetExtraArguments({"--host", "10.213.0.1"});
  const bool started = service.Start(home.Path() + "service-data", 0, 30);
  ASSERT_TRUE(network.EnterClient());
  ASSERT_TRUE(started) << service.Output();
  unsetenv("VADEKO_REMOTE_HOST");
  const std::string address = "10.213.0.1:" + std::to_string(service.Port());

  // Registered from this side; the user then logs in through the dialog,
  // against the service config.ini names, and the digest is stored.
  const CString user = "netuser";
  const CString password = "pw";
  httplib::Client http("10.213.0.1", service.Port());
  const auto registered =
      http.Get(("/urls/UserRegister?username=netuser&md5_passwd=" + Cmd5Capi().Digest(password) +
                "&action=add&iVersion=172")
                   .c_str());
  ASSERT_TRUE(registered && registered->status == 200);
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd(user, kDigest);  // not the password's
  const CString userIni = CMultiUserMgr::GetInstance()->GetLoginingUserPath();
  IniWriteString(userIni, "User", "Saveas", Save());
  IniWriteString(userIni, "User", "RateLimit", "0");
  for (const char* key : {"ChoosePushMethod", "FirstRun", "Usuage"})
    IniWriteString(userIni, "Prompt", key, "1");
  IniWriteString(GetExePath(0) + "config.ini", "sys", "AutoLogin", "0");
  IniWriteString(GetExePath(0) + "config.ini", "sys", "ServiceHost", address);
  CTypingLoginDialog login(user, password);
  CRecordingFrame frame;
  CMainDoc::GetInstance()->SetMainFrame(&frame);
  app = std::make_unique<CUApp>(framework);
  const char* argv[] = {"vadeko"};
  ASSERT_TRUE(app->InitInstance(1, argv)) << home.ErrorLog();

  uint32_t gid = 0;
  ASSERT_TRUE(RunUntil([&] { return (gid = NewBitTorrentPush()) != 0; }, 30000))
      << home.ErrorLog() << home.TraceLog();
  EXPECT_EQ(login.opened, 1);
  EXPECT_EQ(login.shownServer, address);
  CString stored;
  ASSERT_TRUE(ReadWholeFile(GetExePath(0) + "users/netuser/passwd.txt", stored));
  EXPECT_EQ(stored, Cmd5Capi().Digest(password));
  EXPECT_NE(home.TraceLog().find("远程验证成功"), CString::npos);

  CPushDoc* doc = CPushDoc::GetInstance();
  doc->ChangeNewTaskEx(gid);
  doc->OnDownloadRecord();
  ASSERT_TRUE(RunUntil([&] { return Get(gid).GetStatus() == RS_DOWNLOADED; }, 60000))
      << home.ErrorLog();
  ASSERT_NO_FATAL_FAILURE(ExpectAsServed(Get(gid), http));
  // The password went in the clear to another machine: asked once, and the
  // answer kept for this address.
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_NE(boxes.texts[0].find("服务器" + address + "不使用加密连接"), CString::npos);
  EXPECT_EQ(IniGetString(GetExePath(0) + "config.ini", "PlainHttpWarned", address, ""), "1");
  // The components started on this side end here, before the pair goes.
  TearDownComponents();
}

TEST_F(MovieRoadTest, OverHttpsAUserRegistersLogsInDownloadsFromTheWebSeedAndRates) {
  ASSERT_NO_FATAL_FAILURE(StartHttpsService("IP:127.0.0.1"));
  CTypingRegisterDialog reg("tlsuser", "pw");
  CTypingLoginDialog login("tlsuser", "pw");
  login.registerFirst = true;
  CRecordingFrame frame;
  CMainDoc::GetInstance()->SetMainFrame(&frame);
  app = std::make_unique<CUApp>(framework);
  const char* argv[] = {"vadeko"};
  ASSERT_TRUE(app->InitInstance(1, argv)) << home.ErrorLog();

  // Registered, logged in against the service, pushed through the local server.
  uint32_t gid = 0;
  ASSERT_TRUE(RunUntil([&] { return (gid = NewBitTorrentPush()) != 0; }, 30000))
      << home.ErrorLog() << home.TraceLog();
  EXPECT_EQ(login.shownServer, address);
  EXPECT_EQ(boxes.texts, std::vector<CString>{"注册新用户名成功!"});
  EXPECT_NE(home.TraceLog().find("User Register: https://"), CString::npos);
  EXPECT_NE(home.TraceLog().find("远程验证成功"), CString::npos);
  const CRecord pushed = Get(gid);
  EXPECT_EQ(pushed.GetBulletinUrl().rfind(address + "/bulletin/", 0), 0u);

  // The torrent over https, the movie from the https web seed, byte for byte.
  CPushDoc* doc = CPushDoc::GetInstance();
  doc->ChangeNewTaskEx(static_cast<int>(gid));
  doc->OnDownloadRecord();
  ASSERT_TRUE(RunUntil([&] { return Get(gid).GetStatus() == RS_DOWNLOADED; }, 60000))
      << home.ErrorLog();
  httplib::Client http(address);
  http.set_ca_cert_path((home.Path() + "tls/ca.pem").c_str());
  http.enable_server_certificate_verification(true);
  ASSERT_NO_FATAL_FAILURE(ExpectAsServed(Get(gid), http));

  // Rated in "已下载": stored once the service took the report.
  SMainFrameEvent click;
  click.iType = 3;
  CMainDoc::GetInstance()->OnMainFrameEvent(click);
  ASSERT_EQ(doc->GetSelectedGIDs(), std::vector<uint32_t>{gid});
  doc->OnEvalLike();
  ASSERT_TRUE(RunUntil([&] { return Get(gid).GetEval() == 4; }, 30000))
      << home.ErrorLog() << boxes.texts.back();
  EXPECT_EQ(boxes.texts.size(), 1u);
  TearDownComponents();
}

TEST_F(MovieRoadTest, ACertificateForAnotherNameEndsTheLoginWithTheReasonAndNothingInTheClear) {
  ASSERT_NO_FATAL_FAILURE(StartHttpsService("DNS:other.example"));
  CTypingLoginDialog login("tlsuser", "pw");
  CRecordingFrame frame;
  CMainDoc::GetInstance()->SetMainFrame(&frame);
  app = std::make_unique<CUApp>(framework);
  const char* argv[] = {"vadeko"};
  ASSERT_TRUE(app->InitInstance(1, argv)) << home.ErrorLog();
  ASSERT_TRUE(RunUntil([&] { return !boxes.texts.empty(); }, 30000)) << home.TraceLog();
  EXPECT_EQ(boxes.texts[0],
            StringFormat("证书无法验证：127.0.0.1:%d：证书不属于这个地址", service.Port()));
  EXPECT_EQ(login.opened, 1);
  CString stored;
  EXPECT_TRUE(ReadWholeFile(GetExePath(0) + "users/tlsuser/passwd.txt", stored));
  EXPECT_EQ(stored, kDigest);
  // The service answers nothing in the clear, so no request could have gone so.
  httplib::Client plain("127.0.0.1", service.Port());
  plain.set_connection_timeout(5);
  plain.set_read_timeout(5);
  EXPECT_FALSE(plain.Get("/update_info/zenu/update.ini"));
  TearDownComponents();
}
