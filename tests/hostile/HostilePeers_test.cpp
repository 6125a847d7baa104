// Attacks by other local processes and by a hostile remote service against the
// real zenu-localserver, zenu-service and zenu-btdownload: slow and endless
// requests, decompression bombs both ways, stops under siege, and bus calls
// from anyone but the client that started a component.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

#include "tests/componentrig/ChildProcesses.h"
#include "tests/componentrig/RecordingOrvex.h"
#include "tests/componentrig/RigBasics.h"
#include "tests/hostile/PeerTools.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/RawHttpServer.h"
#include "tests/support/TempHome.h"

namespace {
const QString kLocalServer = QStringLiteral("zenu.LocalServer");
const QString kBTDownload = QStringLiteral("zenu.BTDownload");
constexpr long kMemoryBoundKb = 100 * 1024;

bool NameOwned(const QString& name) {
  return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
}

std::string Get(int port, const std::string& path) {
  return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nConnection: close\r\n\r\n";
}

std::string GzipPost(int port, const std::string& path, const std::string& body) {
  return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nContent-Type: application/json\r\nContent-Encoding: gzip\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// An endless header section at full speed; the bytes sent before the server
// closed the connection (or the limit).
size_t HeaderFlood(int port, size_t limit) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) return 0;
  const std::string line = "X-Flood: " + std::string(1000, 'a') + "\r\n";
  std::string block = "GET / HTTP/1.1\r\n";
  while (block.size() < 64 * 1024) block += line;
  size_t sent = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (sent < limit && std::chrono::steady_clock::now() < end) {
    const ssize_t n = ::send(fd, block.data(), block.size(), MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  ::close(fd);
  return sent;
}

// A bomb of 1 GB as about 1 MB of gzip, made once.
const std::string& BigBomb() {
  static const std::string bomb = GzipZeros(size_t(1) << 30);
  return bomb;
}

class HostileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) GTEST_SKIP() << "run under dbus-run-session";
    ASSERT_TRUE(orvex.Publish());
    m_bPublished = true;
    root = home.Path() + "root";
    ::mkdir(root.c_str(), 0755);
    std::ofstream(root + "/hello.html") << "<html><body>hello</body></html>";
  }
  void TearDown() override {
    local.reset();
    if (m_bPublished) orvex.Unpublish();
  }
  // The component started and serving, talking to the service on servicePort.
  void StartLocal(int servicePort) {
    local = std::make_unique<CLocalServerProcess>();
    ASSERT_TRUE(local->Start());
    httpPort = CLoopbackHttpServer::UnusedPort();
    const QDBusMessage reply = local->StartCommand(httpPort, servicePort, root, root);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    ASSERT_TRUE(WaitFor([&] { return !orvex.Of(100).empty(); }));
  }
  long LocalPid() { return static_cast<long>(local->Process().processId()); }

  CTempHome home;
  CRecordingOrvex orvex;
  std::unique_ptr<CLocalServerProcess> local;
  std::string root;
  int httpPort = 0;
  bool m_bPublished = false;
};

// Another local account opens more connections than it may and sends a header
// byte now and then on each: pages are served to this account all the while,
// and every such connection is cut at the request deadline.
void ExpectTricklersHarmless(int port, const std::string& pagePath) {
  const bool otherAccount = ::geteuid() == 0;
  const int count = otherAccount ? 80 : 32;  // the cap is 64 an account
  std::vector<int> tricklers;
  QElapsedTimer clock;
  clock.start();
  for (int i = 0; i < count; ++i) {
    const int fd = ConnectLoopbackAs(port, kOtherUser);
    ASSERT_GE(fd, 0);
    SendSome(fd, "GET " + pagePath + " HTTP/1.1\r\n");
    tricklers.push_back(fd);
  }
  const bool quickBurst = clock.elapsed() < 2000;
  const std::string slow = "X-Slow: " + std::string(64, 'z') + "\r\n";
  bool answered = false;
  size_t at = 0;
  std::vector<bool> closed(tricklers.size(), false);
  long refusedAtOnce = -1;
  while (clock.elapsed() < 12000) {
    for (size_t i = 0; i < tricklers.size(); ++i) {
      if (!closed[i]) closed[i] = !SendSome(tricklers[i], slow.substr(at % slow.size(), 1));
    }
    ++at;
    if (!answered && clock.elapsed() > 1500) {
      refusedAtOnce = std::count(closed.begin(), closed.end(), true);
      QElapsedTimer page;
      page.start();
      const std::string answer = Exchange(port, Get(port, pagePath), 5000);
      EXPECT_EQ(StatusOf(answer), 200) << answer.substr(0, 200);
      EXPECT_LT(page.elapsed(), 3000);
      answered = true;
    }
    if (std::count(closed.begin(), closed.end(), true) == static_cast<long>(closed.size())) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  EXPECT_TRUE(answered);
  // Beyond its 64 the other account is refused at once (a slow burst may have
  // seen its first ones reach the deadline already).
  if (otherAccount) {
    EXPECT_GE(refusedAtOnce, count - 64);
    if (quickBurst) {
      EXPECT_EQ(refusedAtOnce, count - 64);
    }
  }
  // The deadline counts from the connection's start, not from its last byte.
  EXPECT_EQ(std::count(closed.begin(), closed.end(), true), static_cast<long>(closed.size()));
  EXPECT_LT(clock.elapsed(), 12000);
  for (int fd : tricklers) ::close(fd);
}
}  // namespace

TEST_F(HostileTest, SlowConnectionsNeitherFreezeNorOutstayTheDeadline) {
  CServiceProcess svc;
  ASSERT_TRUE(svc.Start(home.Path() + "svc", 0, 5)) << svc.Output();
  StartLocal(svc.Port());
  ExpectTricklersHarmless(httpPort, "/hello.html");
  ExpectTricklersHarmless(svc.Port(), "/update_info/zenu/update.ini");
}

TEST_F(HostileTest, FloodsAndBombsCostLittleMemory) {
  CServiceProcess svc;
  ASSERT_TRUE(svc.Start(home.Path() + "svc", 0, 5)) << svc.Output();
  StartLocal(svc.Port());
  const std::string smallBomb = GzipZeros(size_t(60) << 20);  // under the 64 kB body cap
  ASSERT_LT(smallBomb.size(), 64u * 1024);
  struct STarget {
    int port;
    long pid;
    std::string path;
  };
  for (const STarget& t :
       {STarget{httpPort, LocalPid(), "/api/search"},
        STarget{svc.Port(), static_cast<long>(svc.Process().processId()), "/api/v1/users/kinds"}}) {
    SCOPED_TRACE(t.path);
    const long before = PeakRssKb(t.pid);
    ASSERT_GT(before, 0);
    // The server hangs up long before a megabyte of headers.
    EXPECT_LT(HeaderFlood(t.port, size_t(256) << 20), size_t(8) << 20);
    EXPECT_EQ(StatusOf(Exchange(t.port, GzipPost(t.port, t.path, BigBomb()), 10000)), 413);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(StatusOf(Exchange(t.port, GzipPost(t.port, t.path, smallBomb), 10000)), 413);
    }
    const long grown = PeakRssKb(t.pid) - before;
    std::printf("%s on port %d: peak memory grew by %ld kB\n", t.path.c_str(), t.port, grown);
    EXPECT_LT(grown, kMemoryBoundKb);
    // And still serves.
    EXPECT_NE(StatusOf(Exchange(t.port, Get(t.port, "/hello.html"), 5000)), 0);
  }
}

TEST_F(HostileTest, AHostileServiceCannotFillTheLocalServer) {
  const std::string bomb = BigBomb();
  CRawHttpServer evil([&bomb](CRawHttpServer& server, int fd, const std::string& request) {
    if (request.find("/api/v1/movies/1 ") != std::string::npos) {
      CRawHttpServer::SendAll(fd,
                              "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                              "Content-Encoding: gzip\r\nContent-Length: " +
                                  std::to_string(bomb.size()) + "\r\n\r\n" + bomb);
    } else if (request.find("/api/v1/movies/2 ") != std::string::npos) {
      const std::string line = "X-Flood: " + std::string(1000, 'b') + "\r\n";
      std::string block = "HTTP/1.1 200 OK\r\n";
      while (block.size() < 64 * 1024) block += line;
      for (int i = 0; i < 4096 && !server.Stopping(); ++i) {
        if (!CRawHttpServer::SendAll(fd, block)) break;
      }
    } else {
      // A body far larger than any document, at full speed.
      CRawHttpServer::SendAll(fd, CRawHttpServer::Head(1LL << 32));
      const std::string block(1 << 20, '{');
      for (int i = 0; i < 4096 && !server.Stopping(); ++i) {
        if (!CRawHttpServer::SendAll(fd, block)) break;
      }
    }
  });
  StartLocal(evil.Port());
  const long before = PeakRssKb(LocalPid());
  for (const char* id : {"1", "2", "3"}) {
    SCOPED_TRACE(id);
    const std::string answer = Exchange(
        httpPort, Get(httpPort, std::string("/Bulletin?strAction=View&iMovieID=") + id), 30000);
    EXPECT_EQ(StatusOf(answer), 502) << answer.substr(0, 300);
  }
  const long grown = PeakRssKb(LocalPid()) - before;
  std::printf("local server under a hostile service: peak memory grew by %ld kB\n", grown);
  EXPECT_LT(grown, kMemoryBoundKb);
  evil.Stop();
}

TEST_F(HostileTest, TheLocalServerStopsWithinThreeSecondsUnderSiege) {
  // A service that answers a byte now and then and never finishes.
  CRawHttpServer drip([](CRawHttpServer& server, int fd, const std::string&) {
    const std::string head = "HTTP/1.1 200 OK\r\nX-Drip: ";
    for (size_t i = 0; server.Pause(500); ++i) {
      if (!CRawHttpServer::SendAll(fd, std::string(1, i < head.size() ? head[i] : 'd'))) break;
    }
  });
  StartLocal(drip.Port());
  std::atomic<bool> done{false};
  std::thread page([&] {
    Exchange(httpPort, Get(httpPort, "/Bulletin?strAction=View&iMovieID=7"), 20000);
    done = true;
  });
  std::vector<int> tricklers;
  for (int i = 0; i < 8; ++i) {
    tricklers.push_back(ConnectLoopback(httpPort));
    SendSome(tricklers.back(), "GET /hello.html HTTP/1.1\r\nX-A: ");
  }
  ASSERT_TRUE(WaitFor([&] { return !drip.Requests().empty(); }, 10000));
  QElapsedTimer clock;
  clock.start();
  const QDBusMessage reply = local->StopCommand();
  EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
  ASSERT_TRUE(local->WaitExit(10000));
  std::printf("stopped under siege in %lld ms\n", static_cast<long long>(clock.elapsed()));
  EXPECT_LT(clock.elapsed(), 3000);
  EXPECT_FALSE(NameOwned(kLocalServer));
  for (int fd : tricklers) {
    EXPECT_TRUE(WaitFor([fd] { return PeerClosed(fd); }, 2000));
    ::close(fd);
  }
  ASSERT_TRUE(WaitFor([&] { return done.load(); }, 5000));
  page.join();
  drip.Stop();
}

TEST_F(HostileTest, ComponentsAnswerOnlyTheClientThatStartedThem) {
  CServiceProcess svc;
  ASSERT_TRUE(svc.Start(home.Path() + "svc", 0, 5)) << svc.Output();
  local = std::make_unique<CLocalServerProcess>();
  ASSERT_TRUE(local->Start());
  QDBusConnection intruder =
      QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("intruder"));
  ASSERT_TRUE(intruder.isConnected());
  auto callAs = [](QDBusConnection& bus, const QString& name, const QString& member,
                   const QList<QVariant>& args) {
    QDBusMessage call = QDBusMessage::createMethodCall(name, QStringLiteral("/"), name, member);
    call.setArguments(args);
    QDBusPendingCall pending = bus.asyncCall(call);
    WaitFor([&] { return pending.isFinished(); }, 10000);
    return pending.reply();
  };
  const int port = CLoopbackHttpServer::UnusedPort();
  for (const char* doc :
       {R"({"INT_CMD_IDX": 1, "INT_LOCAL_SERVER_PORT": 1, "STR_REMOTE_SERVER": "203.0.113.9",
            "INT_REMOTE_SERVER_PORT": 80})",
        R"({"INT_CMD_IDX": 2, "STR_USERNAME": "mallory"})",
        R"({"INT_CMD_IDX": 50, "INT_MOVIE_ID": 1})", R"({"INT_CMD_IDX": 100})"}) {
    const QDBusMessage reply =
        callAs(intruder, kLocalServer, QStringLiteral("OnOrvexCmd"), {QString::fromUtf8(doc)});
    EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage) << doc;
    EXPECT_EQ(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"));
  }
  Pump(300);
  EXPECT_TRUE(NameOwned(kLocalServer));
  EXPECT_TRUE(orvex.commands.empty());
  // The owner's start command works as ever.
  const QDBusMessage started = local->StartCommand(port, svc.Port(), root, root);
  EXPECT_EQ(started.type(), QDBusMessage::ReplyMessage) << started.errorMessage().toStdString();
  EXPECT_TRUE(WaitFor([&] { return !orvex.Of(100).empty(); }));
  // Nor can another process of this account listen on its port beside it.
  EXPECT_FALSE(CanShareLoopbackPort(port));
  local.reset();

  // The BitTorrent component, started for another connection of ours that
  // then leaves the bus: it takes calls from that one only, and ends with it.
  QProcess bt;
  {
    QDBusConnection owner =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("owner"));
    bt.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bt.start(QStringLiteral(ZENU_BTDOWNLOAD_EXE), {QStringLiteral("--owner"), owner.baseService()});
    ASSERT_TRUE(WaitFor([] { return NameOwned(kBTDownload); }, 10000));
    QDBusConnection self = QDBusConnection::sessionBus();
    const QDBusMessage refused = callAs(self, kBTDownload, QStringLiteral("Exit"), {});
    EXPECT_EQ(refused.errorName(), QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"));
    const QDBusMessage refusedStart =
        callAs(intruder, kBTDownload, QStringLiteral("StartBT"),
               {QStringLiteral("--responsefile /etc/passwd --saveas /tmp")});
    EXPECT_EQ(refusedStart.errorName(), QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"));
    const QDBusMessage running = callAs(owner, kBTDownload, QStringLiteral("IsRunning"), {});
    ASSERT_EQ(running.type(), QDBusMessage::ReplyMessage) << running.errorMessage().toStdString();
    EXPECT_EQ(running.arguments().value(0).toInt(), 0);
  }
  QElapsedTimer clock;
  clock.start();
  QDBusConnection::disconnectFromBus(QStringLiteral("owner"));
  EXPECT_TRUE(WaitFor([&] { return bt.state() == QProcess::NotRunning; }, 10000));
  EXPECT_LT(clock.elapsed(), 3000);
  QDBusConnection::disconnectFromBus(QStringLiteral("intruder"));
}

TEST_F(HostileTest, APortTakenBeforeTheLocalServerListensIsSkipped) {
  // Another process took the port the client chose, between its choice and
  // the component's start.
  CLoopbackHttpServer squatter;
  std::atomic<int> reached{0};
  squatter.Server().Get(R"(/.*)", [&](const httplib::Request&, httplib::Response& res) {
    ++reached;
    res.set_content("squatted", "text/plain");
  });
  ASSERT_TRUE(squatter.Start());
  local = std::make_unique<CLocalServerProcess>();
  ASSERT_TRUE(local->Start());
  const QDBusMessage reply = local->StartCommand(squatter.Port(), 9, root, root);
  ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
  // It answers with the port it listens on instead, and serves there.
  const int port = reply.arguments().value(0).toInt();
  EXPECT_GT(port, 0);
  EXPECT_NE(port, squatter.Port());
  EXPECT_EQ(StatusOf(Exchange(port, Get(port, "/hello.html"), 5000)), 200);
  EXPECT_TRUE(WaitFor([&] { return !orvex.Of(100).empty(); }));
  EXPECT_EQ(reached.load(), 0);
}
