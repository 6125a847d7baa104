#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/qt/DBusAutomation.h"
#include "push/BTDownload.h"
#include "settings/ConfigDoc.h"
#include "store/MultiUserMgr.h"
#include "tests/componentrig/ChildProcesses.h"
#include "tests/support/RaisedText.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/TempHome.h"
#include "zenuModule/src/ProgramException.h"
#include "zenuModule/src/TextCodec.h"

namespace {
const QString kBTDownload = QStringLiteral("zenu.BTDownload");

bool NameOwned(const QString& name) {
  return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
}

uint OwnerPid(const QString& name) {
  const QDBusReply<uint> pid = QDBusConnection::sessionBus().interface()->servicePid(name);
  return pid.isValid() ? pid.value() : 0;
}

bool ProcessGone(uint pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return true;
  const QByteArray line = stat.readAll();
  const int close = line.lastIndexOf(')');
  return close < 0 || line.mid(close + 2, 1) == "Z";
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QThread::msleep(50);
  }
  return true;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The web seed the service wrote last into the torrent: "8:url-list<len>:<url>".
std::string WebSeed(const std::string& torrent) {
  const size_t at = torrent.rfind("8:url-list");
  if (at == std::string::npos) return std::string();
  const size_t colon = torrent.find(':', at + 10);
  if (colon == std::string::npos) return std::string();
  const size_t len = std::stoul(torrent.substr(at + 10, colon - at - 10));
  return torrent.substr(colon + 1, len);
}

// Whether a TCP port on all interfaces can be bound right now.
bool CanBindTcp(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

int g_connections = 0;

class BTComponentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
      GTEST_SKIP() << "no session bus: run under dbus-run-session";
    }
    ASSERT_FALSE(NameOwned(kBTDownload));
    CConfigDoc::ResetInstance();
    CMultiUserMgr::ResetInstance();
    CMultiUserMgr::GetInstance()->SaveAccountAndPwd("u1", "0123456789abcdef0123456789abcdef");
    // Installed like the program: the component next to it in the program folder.
    ASSERT_EQ(::symlink(ZENU_BTDOWNLOAD_EXE, (home.Path() + "zenu-btdownload").c_str()), 0);
    // A client connection of its own, so that the test can make the client leave.
    m_connectionName = QStringLiteral("bt-client-%1").arg(++g_connections);
    automation = std::make_unique<CDBusAutomation>(
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName));
    SetAutomation(automation.get());
  }
  void TearDown() override {
    bt.reset();
    SetAutomation(nullptr);
    automation.reset();
    if (!m_connectionName.isEmpty()) {
      QDBusConnection::disconnectFromBus(m_connectionName);
      // The component goes with its client; the next test starts its own.
      EXPECT_TRUE(WaitUntil([] { return !NameOwned(kBTDownload); }, 10000));
    }
    svc.Stop();
    CConfigDoc::ResetInstance();
    CMultiUserMgr::ResetInstance();
  }

  // The service up, and the torrent of its first BitTorrent movie fetched into
  // the program folder as the client stores it; the movie's content bytes too.
  void FetchMovie() {
    ASSERT_TRUE(svc.Start(home.Path() + "svc", 0, 8));
    httplib::Client http("127.0.0.1", svc.Port());
    for (movie = 1; movie <= 8; ++movie) {
      auto res = http.Get("/torrent/" + std::to_string(movie) + ".torrent");
      ASSERT_TRUE(res);
      if (res->status == 200) {
        torrentBytes = res->body;
        break;
      }
    }
    ASSERT_FALSE(torrentBytes.empty());
    const std::string seed = WebSeed(torrentBytes);
    const std::string prefix = "/content/" + std::to_string(movie) + "/";
    const size_t at = seed.find(prefix);
    ASSERT_NE(at, std::string::npos) << seed;
    fileName = seed.substr(at + prefix.size());
    auto content = http.Get(prefix + fileName);
    ASSERT_TRUE(content);
    ASSERT_EQ(content->status, 200);
    contentBytes = content->body;
    ASSERT_FALSE(contentBytes.empty());

    const std::string folder = home.Path() + "data/" + std::to_string(movie);
    std::filesystem::create_directories(folder);
    torrentFile = folder + "/" + std::to_string(movie) + ".torrent";
    std::ofstream(torrentFile, std::ios::binary) << torrentBytes;
  }

  // The argument line of the status machine: GBK paths.
  CString Args(const std::string& utf8Torrent, const CString& gbkSaveas) const {
    return "--responsefile \"" + Utf8ToGBK(utf8Torrent) + "\" --saveas \"" + gbkSaveas + "\"";
  }

  QDBusMessage CallComponent(const QString& method) {
    return QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(kBTDownload, QStringLiteral("/"), kBTDownload, method));
  }

  CTempHome home;
  CFakeMessageBox boxes;
  CServiceProcess svc;
  std::unique_ptr<CDBusAutomation> automation;
  std::unique_ptr<CBTDownload> bt = std::make_unique<CBTDownload>();
  int movie = 0;
  std::string torrentBytes;
  std::string torrentFile;
  std::string fileName;
  std::string contentBytes;

 private:
  QString m_connectionName;
};
}  // namespace

TEST_F(BTComponentTest, DownloadsTheMovieFromItsWebSeedToTheFull) {
  FetchMovie();
  bt->CreateInstance();
  ASSERT_EQ(bt->GetState(), 1);
  ASSERT_TRUE(NameOwned(kBTDownload));

  // A save folder of GBK text, as the record's target path is.
  const CString saveas = Utf8ToGBK(home.Path()) + "电影/测试片";
  ASSERT_EQ(bt->StartBT(Args(torrentFile, saveas)), TRUE);
  const int port = CConfigDoc::GetInstance()->GetPort();
  ASSERT_GT(port, 0);
  // The component listens on the first port of the range it was given.
  EXPECT_TRUE(WaitUntil([&] { return !CanBindTcp(port); }, 5000)) << port;

  double percent = 0;
  bool sawFigures = false;
  ASSERT_TRUE(WaitUntil(
      [&] {
        percent = bt->GetPercent();
        EXPECT_GE(percent, 0) << bt->GetLastError();
        const int left = bt->GetLeftTime();
        EXPECT_GE(left, -1);
        EXPECT_GE(bt->GetPeerConnNum(), 0);
        EXPECT_GE(bt->GetDownloadRate(), 0);
        if (!bt->GetOtherRunInfo(1).empty()) sawFigures = true;
        return percent >= 100 || percent < 0;
      },
      30000))
      << "stuck at " << percent << "%: " << bt->GetOtherRunInfo(1);
  EXPECT_DOUBLE_EQ(percent, 100.0);
  EXPECT_TRUE(sawFigures);
  EXPECT_EQ(bt->GetLeftTime(), 0);
  EXPECT_EQ(bt->GetLastError(), "");

  const std::string saved = GBKToUtf8(saveas) + "/" + fileName;
  // The last piece may still be on its way to the disk when the figures say done.
  EXPECT_TRUE(WaitUntil([&] { return ReadBytes(saved) == contentBytes; }, 5000)) << saved;

  // Exit ends the download: nothing runs, and the poll that goes on reads no error.
  const QDBusMessage before = CallComponent(QStringLiteral("IsRunning"));
  ASSERT_EQ(before.type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(before.arguments().value(0).toInt(), 1);
  bt->Exit();
  EXPECT_EQ(CallComponent(QStringLiteral("IsRunning")).arguments().value(0).toInt(), 0);
  EXPECT_EQ(bt->GetPercent(), 0);
  EXPECT_EQ(bt->GetState(), 1);
  EXPECT_EQ(ReadBytes(saved), contentBytes);  // what was fetched stays
  EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(BTComponentTest, AnUnreadableTorrentIsANegativePercentWithItsReason) {
  bt->CreateInstance();
  const std::string missing = home.Path() + "data/9/9.torrent";
  EXPECT_EQ(bt->StartBT(Args(missing, Utf8ToGBK(home.Path()) + "out")), TRUE);
  EXPECT_LT(bt->GetPercent(), 0);
  const CString error = bt->GetLastError();
  EXPECT_NE(error.find("无法读取种子文件"), CString::npos) << error;
  EXPECT_NE(error.find(Utf8ToGBK(missing)), CString::npos) << error;
  // The status machine stops the record with Exit; the poll then reads 0 again.
  bt->Exit();
  EXPECT_EQ(bt->GetPercent(), 0);
  EXPECT_EQ(bt->GetState(), 1);

  // Not a torrent at all.
  const std::string junk = home.Path() + "junk.torrent";
  std::ofstream(junk) << "not bencoded";
  EXPECT_EQ(bt->StartBT(Args(junk, Utf8ToGBK(home.Path()) + "out")), TRUE);
  EXPECT_LT(bt->GetPercent(), 0);
  EXPECT_NE(bt->GetLastError().find(Utf8ToGBK(junk)), CString::npos);
}

TEST_F(BTComponentTest, TheComponentLeavesWithItsClient) {
  bt->CreateInstance();
  const uint pid = OwnerPid(kBTDownload);
  ASSERT_GT(pid, 0u);
  // A second driver of the same client reaches the running component.
  CBTDownload second;
  second.CreateInstance();
  EXPECT_EQ(OwnerPid(kBTDownload), pid);
  second.DestroyInstance();
  bt->DestroyInstance();
  EXPECT_TRUE(NameOwned(kBTDownload));  // a release does not end it

  SetAutomation(nullptr);
  automation.reset();
  QDBusConnection::disconnectFromBus(QStringLiteral("bt-client-%1").arg(g_connections));
  EXPECT_TRUE(WaitUntil([&] { return !NameOwned(kBTDownload) && ProcessGone(pid); }, 10000));
}

TEST_F(BTComponentTest, AComponentGoneMidwayMakesTheDriverUnusable) {
  bt->CreateInstance();
  const uint pid = OwnerPid(kBTDownload);
  ASSERT_GT(pid, 0u);
  ::kill(static_cast<pid_t>(pid), SIGKILL);
  ASSERT_TRUE(WaitUntil([&] { return !NameOwned(kBTDownload); }, 10000));
  const CString raised = RaisedText([&] { bt->GetPercent(); });
  EXPECT_EQ(raised.rfind("Invoke GetPercent() failure.hr:-", 0), 0u) << raised;
  EXPECT_EQ(bt->GetState(), 0);
  EXPECT_EQ(bt->StartBT("x"), FALSE);
}

TEST_F(BTComponentTest, ASaveFolderThatCannotBeMadeIsANegativePercent) {
  FetchMovie();
  bt->CreateInstance();
  // A plain file stands where the save folder's parent should be.
  std::ofstream(home.Path() + "blocker") << "x";
  const CString saveas = Utf8ToGBK(home.Path()) + "blocker/movie";
  ASSERT_EQ(bt->StartBT(Args(torrentFile, saveas)), TRUE);
  double percent = 0;
  EXPECT_TRUE(WaitUntil(
      [&] {
        percent = bt->GetPercent();
        return percent < 0 || percent >= 100;
      },
      20000));
  EXPECT_LT(percent, 0);
  EXPECT_FALSE(bt->GetLastError().empty());
  bt->Exit();
  EXPECT_EQ(bt->GetPercent(), 0);
}
