// The real program with a stored automatic login against the reference service
// on the private bus: it reaches the ready local server, refuses a second
// start, and quits through the tray's quit sequence on SIGTERM.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QProcess>
#include <cstdlib>

#include "tests/componentrig/ChildProcesses.h"
#include "tests/componentrig/RigBasics.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/TempHome.h"

namespace {
bool NameOwned(const char* name) {
  return QDBusConnection::sessionBus()
      .interface()
      ->isServiceRegistered(QString::fromLatin1(name))
      .value();
}

class VadekoRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) GTEST_SKIP() << "run under dbus-run-session";
    ASSERT_TRUE(
        LayOutProgramFolder(home.Path(), QFileInfo(VADEKO_EXE).absolutePath().toStdString() + "/"));
    ASSERT_TRUE(service.Start(home.Path() + "service-data", 0, 5)) << service.Output();
  }
  std::unique_ptr<QProcess> Start() { return StartProgram(VADEKO_EXE, service.Port()); }

  CTempHome home;
  CServiceProcess service;
};
}  // namespace

TEST_F(VadekoRunTest, ReachesTheReadyLocalServerAndQuitsOnSigterm) {
  std::unique_ptr<QProcess> vadeko = Start();
  ASSERT_TRUE(vadeko->waitForStarted(5000));
  ASSERT_TRUE(
      WaitFor([&] { return home.TraceLog().find("LocalSrv is ready") != CString::npos; }, 45000))
      << home.TraceLog() << home.ErrorLog();
  EXPECT_NE(home.TraceLog().find("In InitInstance, before start localsrv"), CString::npos);
  EXPECT_TRUE(NameOwned("zenu.Orvex"));
  EXPECT_TRUE(NameOwned("zenu.LocalServer"));

  // A second start hands over to the running one and ends at once.
  std::unique_ptr<QProcess> second = Start();
  ASSERT_TRUE(second->waitForFinished(20000));
  EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second->exitCode(), 0);
  EXPECT_EQ(vadeko->state(), QProcess::Running);

  vadeko->terminate();
  ASSERT_TRUE(WaitFor([&] { return vadeko->state() == QProcess::NotRunning; }, 30000));
  EXPECT_EQ(vadeko->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(vadeko->exitCode(), 0);
  EXPECT_TRUE(
      WaitFor([] { return !NameOwned("zenu.LocalServer") && !NameOwned("zenu.Orvex"); }, 15000));
  EXPECT_EQ(home.ErrorLog(), "");
}

TEST(VadekoOptions, HelpAndVersionAnswerWithoutStartingTheProgram) {
  CTempHome home;
  for (const char* option : {"--help", "--version"}) {
    QProcess vadeko;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Not even a display: nothing but the answer may happen.
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("none"));
    vadeko.setProcessEnvironment(env);
    vadeko.start(QStringLiteral(VADEKO_EXE), {QString::fromLatin1(option)});
    ASSERT_TRUE(vadeko.waitForFinished(10000)) << option;
    EXPECT_EQ(vadeko.exitCode(), 0) << option;
    const QString out = QString::fromUtf8(vadeko.readAllStandardOutput());
    if (std::string(option) == "--help") {
      EXPECT_TRUE(out.startsWith(QStringLiteral("用法: vadeko"))) << out.toStdString();
      EXPECT_TRUE(out.contains(QStringLiteral("-server_port"))) << out.toStdString();
    } else {
      EXPECT_TRUE(out.endsWith(QStringLiteral(" 1.72\n"))) << out.toStdString();
    }
  }
  EXPECT_EQ(home.TraceLog(), "");
}
