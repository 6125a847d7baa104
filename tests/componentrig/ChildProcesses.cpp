#include "tests/componentrig/ChildProcesses.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QElapsedTimer>

#include "tests/componentrig/RigBasics.h"

namespace {
const QString kLocalServer = QStringLiteral("zenu.LocalServer");
}  // namespace

std::unique_ptr<QProcess> StartProgram(const QString& exe, int servicePort) {
  auto program = std::make_unique<QProcess>();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("VADEKO_REMOTE_HOST", "127.0.0.1");
  env.insert("QT_QPA_PLATFORM", "offscreen");
  program->setProcessEnvironment(env);
  program->setProcessChannelMode(QProcess::ForwardedChannels);
  program->start(exe, {"-server_port", QString::number(servicePort)});
  return program;
}

bool CServiceProcess::Start(const std::string& dataDir, int port, int movies, int minKib,
                            int maxKib) {
  m_output.clear();
  m_process.setProcessChannelMode(QProcess::SeparateChannels);
  m_process.setProgram(QStringLiteral(ZENU_SERVICE_EXE));
  m_process.setArguments({QStringLiteral("--port"), QString::number(port), QStringLiteral("--data"),
                          QString::fromStdString(dataDir), QStringLiteral("--demo-movies"),
                          QString::number(movies), QStringLiteral("--demo-min-kib"),
                          QString::number(minKib), QStringLiteral("--demo-max-kib"),
                          QString::number(maxKib), QStringLiteral("--threads"), QStringLiteral("4"),
                          QStringLiteral("--demo-raters"), QStringLiteral("0")});
  m_process.setArguments(m_process.arguments() + m_extraArgs);
  m_process.start();
  if (!m_process.waitForStarted(5000)) return false;
  // "zenu-service listening on 127.0.0.1:<port>"
  QByteArray out;
  QElapsedTimer clock;
  clock.start();
  while (!out.contains('\n') && clock.elapsed() < 20000) {
    if (m_process.waitForReadyRead(200)) out += m_process.readAllStandardOutput();
    if (m_process.state() == QProcess::NotRunning) break;
  }
  m_output = out.toStdString();
  const int colon = out.lastIndexOf(':');
  if (!out.startsWith("zenu-service listening on") || colon < 0) return false;
  m_port = out.mid(colon + 1).trimmed().toInt();
  return m_port > 0;
}

void CServiceProcess::Stop() {
  if (m_process.state() == QProcess::NotRunning) return;
  m_process.terminate();
  if (!m_process.waitForFinished(10000)) {
    m_process.kill();
    m_process.waitForFinished(5000);
  }
}

CLocalServerProcess::~CLocalServerProcess() {
  if (m_process.state() == QProcess::NotRunning) return;
  StopCommand();
  if (!WaitExit(5000)) {
    m_process.kill();
    m_process.waitForFinished(5000);
  }
}

bool CLocalServerProcess::Start(const QProcessEnvironment& env) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  m_process.setProcessEnvironment(env);
  m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  m_process.setProgram(QStringLiteral(ZENU_LOCALSERVER_EXE));
  m_process.setArguments({QStringLiteral("--owner"), bus.baseService()});
  m_process.start();
  if (!m_process.waitForStarted(5000)) return false;
  return WaitFor([&] { return bus.interface()->isServiceRegistered(kLocalServer).value(); }, 10000);
}

QDBusMessage CLocalServerProcess::Command(const Json::Value& cmd) {
  QDBusMessage call = QDBusMessage::createMethodCall(kLocalServer, QStringLiteral("/"),
                                                     kLocalServer, QStringLiteral("OnOrvexCmd"));
  call << QString::fromStdString(WriteJson(cmd));
  // Asynchronous, so that the component's own calls to us are served meanwhile.
  QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call);
  WaitFor([&] { return pending.isFinished(); }, 10000);
  return pending.reply();
}

QDBusMessage CLocalServerProcess::StartCommand(int httpPort, int servicePort,
                                               const std::string& root,
                                               const std::string& progPath) {
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 1;
  cmd["INT_VERSION"] = 172;
  cmd["STR_LOCAL_SERVER_ROOT_PATH"] = root;
  cmd["STR_PROG_PATH"] = progPath;
  cmd["INT_LOCAL_SERVER_PORT"] = httpPort;
  cmd["STR_REMOTE_SERVER"] = "127.0.0.1";
  cmd["INT_REMOTE_SERVER_PORT"] = servicePort;
  cmd["INT_TEST_ALONE"] = 0;
  return Command(cmd);
}

QDBusMessage CLocalServerProcess::Login(const std::string& utf8User, const std::string& dbFile) {
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 2;
  cmd["INT_USER_ID"] = 0;
  cmd["STR_USERNAME"] = utf8User;
  cmd["STR_USER_DB_FILE"] = dbFile;
  return Command(cmd);
}

QDBusMessage CLocalServerProcess::StopCommand() {
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 100;
  return Command(cmd);
}

bool CLocalServerProcess::WaitExit(int ms) {
  return WaitFor([&] { return m_process.state() == QProcess::NotRunning; }, ms);
}
