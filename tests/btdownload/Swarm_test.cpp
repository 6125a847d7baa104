#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>
#include <filesystem>
#include <fstream>
#include <libtorrent/hex.hpp>
#include <libtorrent/torrent_info.hpp>
#include <memory>

#include "tests/btdownload/ComponentFixture.h"

namespace {
constexpr std::int64_t kMovieBytes = 64 << 20;
const QString kBTShare = QStringLiteral("zenu.BTShare");

int FreeTcpPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

std::string UrlEscaped(const std::string& bytes) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : bytes) {
    out += '%';
    out += hex[c >> 4];
    out += hex[c & 15];
  }
  return out;
}

// One zenu-btdownload process, called over the bus as its client would.
class CComponent final {
 public:
  CComponent(bool share, std::string name) : m_name(std::move(name)) {
    m_process.setProgram(QStringLiteral(ZENU_BTDOWNLOAD_EXE));
    if (share) m_process.setArguments({QStringLiteral("--share")});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    m_busName = share ? kBTShare : kBTDownload;
    m_started =
        m_process.waitForStarted(5000) && WaitUntil([this] { return NameOwned(m_busName); }, 10000);
  }
  ~CComponent() { End(); }
  bool Started() const { return m_started; }
  void End() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.terminate();
    if (!m_process.waitForFinished(15000)) m_process.kill();
    m_process.waitForFinished(5000);
  }
  QVariant Call(const QString& method, const QVariantList& args = {}) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(m_busName, QStringLiteral("/"), m_busName, method);
    call.setArguments(args);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 20000);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << m_name << " " << method.toStdString();
    return reply.arguments().value(0);
  }
  // Downloads until 100, an error or the time is up; the last percentage.
  double Download(const std::string& args, int ms) {
    EXPECT_EQ(Call(QStringLiteral("StartBT"), {QString::fromStdString(args)}).toInt(), 1)
        << LastError();
    double percent = 0;
    WaitUntil(
        [&] {
          percent = Call(QStringLiteral("GetDownloadedPercent")).toString().toDouble();
          return percent >= 100 || percent < 0;
        },
        ms);
    return percent;
  }
  double Percent() { return Call(QStringLiteral("GetDownloadedPercent")).toString().toDouble(); }
  std::string LastError() { return Call(QStringLiteral("GetLastError")).toString().toStdString(); }

 private:
  std::string m_name;
  QString m_busName;
  QProcess m_process;
  bool m_started = false;
};

class SwarmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
      GTEST_SKIP() << "no session bus: run under dbus-run-session";
    const QString opentracker = QStandardPaths::findExecutable(QStringLiteral("opentracker"));
    if (opentracker.isEmpty()) GTEST_SKIP() << "opentracker is not installed";
    ASSERT_FALSE(NameOwned(kBTDownload));
    ASSERT_FALSE(NameOwned(kBTShare));

    // The service keeps the tracker's whitelist; the tracker reads it at start.
    const std::string trackerDir = home.Path() + "tracker";
    std::filesystem::create_directories(trackerDir);
    trackerPort = FreeTcpPort();
    const QString announce = QStringLiteral("http://127.0.0.1:%1/announce").arg(trackerPort);
    svc.SetExtraArguments({QStringLiteral("--tracker"), announce,
                           QStringLiteral("--tracker-whitelist"),
                           QString::fromStdString(trackerDir + "/whitelist.txt")});
    const int kib = static_cast<int>(kMovieBytes >> 10);
    ASSERT_TRUE(svc.Start(home.Path() + "svc", 0, 1, kib, kib)) << svc.Output();
    tracker.setProgram(opentracker);
    tracker.setArguments({QStringLiteral("-i"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                          QString::number(trackerPort), QStringLiteral("-P"),
                          QString::number(trackerPort), QStringLiteral("-d"),
                          QString::fromStdString(trackerDir), QStringLiteral("-w"),
                          QStringLiteral("/whitelist.txt")});
    tracker.setProcessChannelMode(QProcess::ForwardedChannels);
    tracker.start();
    ASSERT_TRUE(tracker.waitForStarted(5000));

    httplib::Client http("127.0.0.1", svc.Port());
    const auto res = http.Get("/torrent/1.torrent");
    ASSERT_TRUE(res && res->status == 200);
    lt::error_code ec;
    const lt::torrent_info info(res->body.data(), static_cast<int>(res->body.size()), ec);
    ASSERT_FALSE(ec) << ec.message();
    ASSERT_FALSE(info.trackers().empty());
    infoHash = info.info_hashes().v1.to_string();
    fileName = info.files().file_path(lt::file_index_t(0));
    torrentBytes = res->body;
    content = home.Path() + "svc/content/1/" + fileName;
    ASSERT_EQ(static_cast<std::int64_t>(std::filesystem::file_size(content)), kMovieBytes);
  }

  void TearDown() override {
    if (tracker.state() != QProcess::NotRunning) {
      tracker.kill();
      tracker.waitForFinished(5000);
    }
    svc.Stop();
  }

  // A client's own folder with the torrent as the client stores it; its argument line.
  std::string ClientArgs(const std::string& client, int rateLimitKB = 0) {
    const std::string torrent = home.Path() + client + "/data/1/1.torrent";
    std::filesystem::create_directories(std::filesystem::path(torrent).parent_path());
    std::ofstream(torrent, std::ios::binary) << torrentBytes;
    return "--responsefile \"" + torrent + "\" --saveas \"" + Folder(client) +
           "\" --service \"127.0.0.1:" + std::to_string(svc.Port()) +
           "\" --tracker \"127.0.0.1:" + std::to_string(trackerPort) + "\" --ratelimit " +
           std::to_string(rateLimitKB);
  }
  std::string Folder(const std::string& client) const { return home.Path() + client + "/movies"; }
  std::string Saved(const std::string& client) const { return Folder(client) + "/" + fileName; }

  std::int64_t ServiceBytes() {
    httplib::Client http("127.0.0.1", svc.Port());
    const auto res = http.Get("/api/v1/status");
    const std::string key = "\"content_bytes_sent\":";
    const size_t at = res ? res->body.find(key) : std::string::npos;
    return at == std::string::npos ? -1 : std::stoll(res->body.substr(at + key.size()));
  }

  // The tracker lists this many seeds of the movie.
  bool TrackerSeeds(int count) {
    httplib::Client http("127.0.0.1", trackerPort);
    const auto res = http.Get("/scrape?info_hash=" + UrlEscaped(infoHash));
    return res && res->body.find("8:completei" + std::to_string(count) + "e") != std::string::npos;
  }

  CTempHome home;
  CServiceProcess svc;
  QProcess tracker;
  int trackerPort = 0;
  std::string infoHash;
  std::string fileName;
  std::string torrentBytes;
  std::string content;
};
}  // namespace

TEST_F(SwarmTest, ASharedMovieComesFromPeersAndTheServiceOnlyFillsIn) {
  // A downloads alone: the tracker knows nobody, and the web seed steps in.
  const std::string argsA = ClientArgs("a");
  {
    CComponent a(false, "A");
    ASSERT_TRUE(a.Started());
    ASSERT_EQ(a.Download(argsA, 30000), 100.0) << a.LastError();
    a.Call(QStringLiteral("Exit"));
  }
  ASSERT_EQ(ReadBytes(Saved("a")), ReadBytes(content));
  struct stat before {};
  ASSERT_EQ(::stat(Saved("a").c_str(), &before), 0);

  auto sharer = std::make_unique<CComponent>(true, "sharer");
  ASSERT_TRUE(sharer->Started());
  // Only complete files are offered, each record once, up to the limit.
  EXPECT_EQ(sharer->Call(QStringLiteral("Share"), {7u, QString::fromStdString(ClientArgs("none"))})
                .toInt(),
            -1);
  EXPECT_NE(sharer->Call(QStringLiteral("GetLastError")).toString(), QString());
  EXPECT_EQ(sharer->Call(QStringLiteral("SetMaxShared"), {0}).toInt(), 0);
  EXPECT_EQ(sharer->Call(QStringLiteral("Share"), {1u, QString::fromStdString(argsA)}).toInt(), -1);
  EXPECT_EQ(sharer->Call(QStringLiteral("SetMaxShared"), {5}).toInt(), 0);
  EXPECT_EQ(sharer->Call(QStringLiteral("SetUploadLimit"), {0}).toInt(), 0);
  ASSERT_EQ(sharer->Call(QStringLiteral("Share"), {1u, QString::fromStdString(argsA)}).toInt(), 0)
      << sharer->Call(QStringLiteral("GetLastError")).toString().toStdString();
  EXPECT_EQ(sharer->Call(QStringLiteral("Share"), {1u, QString::fromStdString(argsA)}).toInt(), 0);
  EXPECT_TRUE(sharer->Call(QStringLiteral("GetShareStatus")).toString().startsWith("1 "));
  ASSERT_TRUE(WaitUntil([this] { return TrackerSeeds(1); }, 10000));

  // B finds A's copy through the tracker and takes most of it from there.
  std::int64_t start = ServiceBytes();
  {
    CComponent b(false, "B");
    ASSERT_TRUE(b.Started());
    ASSERT_EQ(b.Download(ClientArgs("b"), 30000), 100.0) << b.LastError();
  }
  const std::int64_t fromService = ServiceBytes() - start;
  EXPECT_LE(fromService, kMovieBytes / 4);
  EXPECT_EQ(ReadBytes(Saved("b")), ReadBytes(content));

  // Seeding changed nothing; once unshared the record is no longer known.
  EXPECT_EQ(sharer->Call(QStringLiteral("Unshare"), {1u}).toInt(), 0);
  EXPECT_EQ(sharer->Call(QStringLiteral("Unshare"), {1u}).toInt(), -1);
  EXPECT_TRUE(sharer->Call(QStringLiteral("GetShareStatus")).toString().startsWith("0 "));
  struct stat after {};
  ASSERT_EQ(::stat(Saved("a").c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);

  // Nobody shares: C gets it all from the service.
  start = ServiceBytes();
  {
    CComponent c(false, "C");
    ASSERT_TRUE(c.Started());
    ASSERT_EQ(c.Download(ClientArgs("c"), 30000), 100.0) << c.LastError();
  }
  EXPECT_GE(ServiceBytes() - start, kMovieBytes);

  // The sharer goes away while D is part of the way: D finishes from the web seed.
  ASSERT_EQ(sharer->Call(QStringLiteral("Share"), {1u, QString::fromStdString(argsA)}).toInt(), 0);
  ASSERT_TRUE(WaitUntil([this] { return TrackerSeeds(1); }, 10000));
  start = ServiceBytes();
  {
    CComponent d(false, "D");
    ASSERT_TRUE(d.Started());
    // Limited so that there is a middle to stop the sharer in.
    EXPECT_EQ(
        d.Call(QStringLiteral("StartBT"), {QString::fromStdString(ClientArgs("d", 8192))}).toInt(),
        1);
    ASSERT_TRUE(WaitUntil([&] { return d.Percent() >= 15; }, 20000)) << d.LastError();
    EXPECT_EQ(sharer->Call(QStringLiteral("Exit")).toInt(), 0);
    sharer.reset();
    double percent = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
          percent = d.Percent();
          return percent >= 100 || percent < 0;
        },
        30000))
        << percent;
    EXPECT_EQ(percent, 100.0) << d.LastError();
  }
  EXPECT_GT(ServiceBytes() - start, kMovieBytes / 4);
  EXPECT_EQ(ReadBytes(Saved("d")), ReadBytes(content));
}
