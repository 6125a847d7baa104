// The real program against the reference service on the private bus, with its
// processes killed under it, and with strangers on the bus.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <fstream>
#include <memory>
#include <sstream>

#include "tests/componentrig/ChildProcesses.h"
#include "tests/componentrig/RigBasics.h"
#include "tests/support/ProcessState.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/TempHome.h"

namespace {
const QString kLocalServer = QStringLiteral("zenu.LocalServer");
const QString kOrvex = QStringLiteral("zenu.Orvex");

QDBusConnectionInterface* Bus() { return QDBusConnection::sessionBus().interface(); }
bool NameOwned(const QString& name) { return Bus()->isServiceRegistered(name).value(); }
uint OwnerPid(const QString& name) {
  const QDBusReply<uint> pid = Bus()->servicePid(name);
  return pid.isValid() ? pid.value() : 0;
}
// The loopback port a process listens on, from its sockets and the kernel's table.
int ListeningPort(uint pid) {
  std::vector<std::string> inodes;
  const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
  for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
    char buf[128] = {0};
    const ssize_t n = ::readlink(fd.filePath().toLocal8Bit().constData(), buf, sizeof buf - 1);
    const std::string text(buf, n > 0 ? static_cast<size_t>(n) : 0);
    if (text.rfind("socket:[", 0) == 0) inodes.push_back(text.substr(8, text.size() - 9));
  }
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retr, uid, timeout, inode;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retr >> uid >> timeout >>
        inode;
    if (state != "0A") continue;
    for (const std::string& mine : inodes) {
      if (mine == inode) return std::stoi(local.substr(local.find(':') + 1), nullptr, 16);
    }
  }
  return 0;
}

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) GTEST_SKIP() << "run under dbus-run-session";
    ASSERT_TRUE(
        LayOutProgramFolder(home.Path(), QFileInfo(VADEKO_EXE).absolutePath().toStdString() + "/"));
    ASSERT_TRUE(service.Start(home.Path() + "service-data", 0, 5)) << service.Output();
  }
  void TearDown() override {
    if (vadeko && vadeko->state() != QProcess::NotRunning) {
      vadeko->kill();
      vadeko->waitForFinished(5000);
    }
    // Whatever a failed case left on the bus.
    WaitFor([] { return !NameOwned(kLocalServer); }, 5000);
  }
  void Start() {
    vadeko = StartProgram(VADEKO_EXE, service.Port());
    ASSERT_TRUE(vadeko->waitForStarted(5000));
  }
  void StartAndBeReady() {
    Start();
    ASSERT_TRUE(
        WaitFor([&] { return home.TraceLog().find("LocalSrv is ready") != CString::npos; }, 60000))
        << home.TraceLog() << home.ErrorLog();
    // The user reached the component: its task request is accepted.
    ASSERT_TRUE(WaitFor([&] { return TaskRequestAccepted(); }, 30000));
  }
  bool TaskRequestAccepted() {
    const uint pid = OwnerPid(kLocalServer);
    const int port = pid ? ListeningPort(pid) : 0;
    if (port <= 0) return false;
    httplib::Client http("127.0.0.1", port);
    http.set_connection_timeout(2, 0);
    http.set_read_timeout(5, 0);
    auto res = http.Get("/ReqTask?strAction=StartReqTask&strType=normal");
    return res && res->status == 200 && res->body == "[1]";
  }

  CTempHome home;
  CServiceProcess service;
  std::unique_ptr<QProcess> vadeko;
};
}  // namespace

TEST_F(FaultTest, AKilledLocalServerIsRestartedAndTheQuitStillEndsEverything) {
  StartAndBeReady();
  const uint first = OwnerPid(kLocalServer);
  ASSERT_GT(first, 0u);
  ASSERT_EQ(::kill(static_cast<pid_t>(first), SIGKILL), 0);
  ASSERT_TRUE(WaitFor(
      [&] {
        const uint now = OwnerPid(kLocalServer);
        return now != 0 && now != first;
      },
      30000))
      << home.TraceLog();
  EXPECT_NE(home.TraceLog().find("LocalSrv is gone, restarting it"), CString::npos);
  // Commands 1 and 2 went to the new one: it serves and knows the user.
  EXPECT_TRUE(WaitFor([&] { return TaskRequestAccepted(); }, 30000));
  EXPECT_EQ(vadeko->state(), QProcess::Running);

  const uint second = OwnerPid(kLocalServer);
  QElapsedTimer clock;
  clock.start();
  vadeko->terminate();
  ASSERT_TRUE(WaitFor([&] { return vadeko->state() == QProcess::NotRunning; }, 30000));
  EXPECT_LT(clock.elapsed(), 10000);
  EXPECT_EQ(vadeko->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(vadeko->exitCode(), 0);
  EXPECT_TRUE(WaitFor([&] { return ProcessGone(second) && !NameOwned(kLocalServer); }, 5000));
  EXPECT_FALSE(NameOwned(kOrvex));
}

TEST_F(FaultTest, AKilledClientTakesItsComponentsAlongAndLeavesASoundDatabase) {
  StartAndBeReady();
  // Killed while the movies of the task request may still be going in.
  const std::string dbFile = home.Path() + "users/tester/db.dat";
  ASSERT_TRUE(WaitFor([&] { return ::access(dbFile.c_str(), F_OK) == 0; }, 30000));
  ASSERT_TRUE(TaskRequestAccepted());
  Pump(300);
  const uint component = OwnerPid(kLocalServer);
  ASSERT_GT(component, 0u);
  QElapsedTimer clock;
  clock.start();
  vadeko->kill();
  ASSERT_TRUE(vadeko->waitForFinished(5000));
  EXPECT_TRUE(WaitFor([&] { return ProcessGone(component); }, 5000));
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_FALSE(NameOwned(kLocalServer));

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(dbFile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::string verdict;
  sqlite3_exec(
      db, "PRAGMA integrity_check",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) += values[0] ? values[0] : "";
        return 0;
      },
      &verdict, nullptr);
  sqlite3_close(db);
  EXPECT_EQ(verdict, "ok");

  // The next start works.
  StartAndBeReady();
  vadeko->terminate();
  EXPECT_TRUE(WaitFor([&] { return vadeko->state() == QProcess::NotRunning; }, 30000));
}

TEST_F(FaultTest, StrangersOnTheBusCannotDriveTheClient) {
  StartAndBeReady();
  QDBusConnection stranger =
      QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("stranger"));
  auto call = [&](const QString& member, const QList<QVariant>& args) {
    QDBusMessage msg = QDBusMessage::createMethodCall(kOrvex, QStringLiteral("/"), kOrvex, member);
    msg.setArguments(args);
    QDBusPendingCall pending = stranger.asyncCall(msg);
    WaitFor([&] { return pending.isFinished(); }, 10000);
    return pending.reply();
  };
  const QString denied = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");
  for (const char* doc : {R"({"INT_CMD_IDX": 200, "STR_IP": "203.0.113.9"})",
                          R"({"INT_CMD_IDX": 37, "STR_MEDIA_INFO": "<tasks/>"})"}) {
    EXPECT_EQ(call(QStringLiteral("OnLocalSrvCmd"), {QString::fromUtf8(doc)}).errorName(), denied);
  }
  EXPECT_EQ(call(QStringLiteral("m2"), {QStringLiteral("hello")}).errorName(), denied);
  const QDBusMessage m1 = call(QStringLiteral("m1"), {});
  EXPECT_EQ(m1.type(), QDBusMessage::ReplyMessage) << m1.errorMessage().toStdString();
  QDBusConnection::disconnectFromBus(QStringLiteral("stranger"));
  EXPECT_EQ(vadeko->state(), QProcess::Running);
  EXPECT_EQ(home.ErrorLog(), "");
  vadeko->terminate();
  EXPECT_TRUE(WaitFor([&] { return vadeko->state() == QProcess::NotRunning; }, 30000));
}

TEST_F(FaultTest, ALocalServerNameHeldByAStrangerIsRefusedAndTakenOnceFree) {
  ASSERT_TRUE(QDBusConnection::sessionBus().registerService(kLocalServer));
  Start();
  EXPECT_TRUE(WaitFor(
      [&] {
        return home.ErrorLog().find("CoCreateInstance zenu.LocalServer failure") != CString::npos;
      },
      60000))
      << home.ErrorLog();
  EXPECT_NE(home.ErrorLog().find("which this program did not start"), CString::npos);
  // The holder is named, and the client waits for the name instead of ending.
  const std::string holder = "zenu.LocalServer is held by ";
  EXPECT_TRUE(WaitFor([&] { return home.TraceLog().find(holder) != CString::npos; }, 10000));
  const std::string pid = std::to_string(::getpid());
  EXPECT_NE(home.TraceLog().find(holder), CString::npos) << home.TraceLog();
  EXPECT_NE(home.TraceLog().find(" " + pid + " ("), CString::npos) << home.TraceLog();
  EXPECT_EQ(home.TraceLog().find("LocalSrv is ready"), CString::npos);
  Pump(5000);
  EXPECT_EQ(vadeko->state(), QProcess::Running);
  // Tried again every few seconds, logged once.
  const CString errors = home.ErrorLog();
  const std::string once = "which this program did not start";
  const size_t first = errors.find(once);
  EXPECT_EQ(errors.find(once, first + 1), CString::npos) << errors;

  QDBusConnection::sessionBus().unregisterService(kLocalServer);
  EXPECT_TRUE(
      WaitFor([&] { return home.TraceLog().find("LocalSrv is ready") != CString::npos; }, 60000))
      << home.TraceLog();
  EXPECT_EQ(vadeko->state(), QProcess::Running);
}

namespace {
// Processes started for the bus at `address`, from their environment.
std::vector<uint> ProcessesOnBus(const std::string& address, const std::string& exeName) {
  std::vector<uint> found;
  for (const QFileInfo& entry : QDir(QStringLiteral("/proc")).entryInfoList(QDir::Dirs)) {
    bool numeric = false;
    const uint pid = entry.fileName().toUInt(&numeric);
    if (!numeric || ProcessGone(pid)) continue;
    std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
    std::string first;
    std::getline(cmdline, first, '\0');
    if (first.size() < exeName.size() ||
        first.compare(first.size() - exeName.size(), exeName.size(), exeName) != 0) {
      continue;
    }
    std::ifstream environ("/proc/" + std::to_string(pid) + "/environ");
    std::string var;
    while (std::getline(environ, var, '\0')) {
      if (var == "DBUS_SESSION_BUS_ADDRESS=" + address) found.push_back(pid);
    }
  }
  return found;
}
}  // namespace

TEST_F(FaultTest, TheEndOfTheSessionBusEndsTheClientAndItsComponents) {
  // A bus of this test's own, so that it can go away under the program.
  QProcess daemon;
  daemon.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--session"), QStringLiteral("--nofork"),
                QStringLiteral("--print-address=1")});
  ASSERT_TRUE(daemon.waitForStarted(5000));
  ASSERT_TRUE(daemon.waitForReadyRead(5000));
  const std::string address = daemon.readLine().trimmed().toStdString();
  ASSERT_FALSE(address.empty());
  vadeko = std::make_unique<QProcess>();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("VADEKO_REMOTE_HOST", "127.0.0.1");
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString(address));
  vadeko->setProcessEnvironment(env);
  vadeko->setProcessChannelMode(QProcess::ForwardedChannels);
  vadeko->start(VADEKO_EXE, {"-server_port", QString::number(service.Port())});
  // The session is up once the push engine has opened the record database.
  ASSERT_TRUE(
      WaitFor([&] { return home.TraceLog().find("CDatabase2::LoadDB") != CString::npos; }, 60000))
      << home.TraceLog() << home.ErrorLog();
  const std::vector<uint> components = ProcessesOnBus(address, "zenu-localserver");
  ASSERT_EQ(components.size(), 1u);

  daemon.terminate();
  ASSERT_TRUE(daemon.waitForFinished(5000));
  EXPECT_TRUE(WaitFor([&] { return vadeko->state() == QProcess::NotRunning; }, 20000));
  EXPECT_EQ(vadeko->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(vadeko->exitCode(), 0) << home.ErrorLog() << home.TraceLog();
  EXPECT_TRUE(WaitFor([&] { return ProcessGone(components[0]); }, 10000));
}
