#include "tests/localserver/TaskHarness.h"

#include <httplib.h>
#include <json/reader.h>
#include <json/writer.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QThread>
#include <memory>

namespace {
const QString kLocalServer = QStringLiteral("zenu.LocalServer");
const char* const kMarker = "5B1E09C4-73AF-4d2e-9C81-E2F04A6B1D37 OK";
const char* const kDigest = "0123456789abcdef0123456789abcdef";

std::string PercentEncode(const std::string& bytes) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (std::isalnum(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}
}  // namespace

std::string WriteJson(const Json::Value& v) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, v);
}

bool ParseJson(const std::string& text, Json::Value& out) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  return reader->parse(text.data(), text.data() + text.size(), &out, &errors);
}

bool CRecordingOrvex::Publish() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  return bus.registerObject(QStringLiteral("/"), this, QDBusConnection::ExportAllSlots) &&
         bus.registerService(QStringLiteral("zenu.Orvex"));
}

void CRecordingOrvex::Unpublish() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterService(QStringLiteral("zenu.Orvex"));
  bus.unregisterObject(QStringLiteral("/"));
}

int CRecordingOrvex::OnLocalSrvCmd(const QString& json) {
  Json::Value doc;
  if (!ParseJson(json.toStdString(), doc)) doc = Json::Value("unparsable: " + json.toStdString());
  commands.push_back(doc);
  return 0;
}

std::vector<int> CRecordingOrvex::Indexes(size_t from) const {
  std::vector<int> out;
  for (size_t i = from; i < commands.size(); ++i) {
    const Json::Value& c = commands[i];
    out.push_back(c.isObject() ? c.get("INT_CMD_IDX", -1).asInt() : -1);
  }
  return out;
}

std::vector<Json::Value> CRecordingOrvex::Of(int index, size_t from) const {
  std::vector<Json::Value> out;
  for (size_t i = from; i < commands.size(); ++i) {
    const Json::Value& c = commands[i];
    if (c.isObject() && c.get("INT_CMD_IDX", -1).asInt() == index) out.push_back(c);
  }
  return out;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

void Pump(int ms) {
  WaitFor([] { return false; }, ms);
}

bool CServiceProcess::Start(const std::string& dataDir, int port, int movies) {
  m_process.setProcessChannelMode(QProcess::SeparateChannels);
  m_process.setProgram(QStringLiteral(ZENU_SERVICE_EXE));
  m_process.setArguments({QStringLiteral("--port"), QString::number(port), QStringLiteral("--data"),
                          QString::fromStdString(dataDir), QStringLiteral("--demo-movies"),
                          QString::number(movies), QStringLiteral("--demo-min-kib"),
                          QStringLiteral("4"), QStringLiteral("--demo-max-kib"),
                          QStringLiteral("8"), QStringLiteral("--threads"), QStringLiteral("4")});
  m_process.start();
  if (!m_process.waitForStarted(5000)) return false;
  // "zenu-service listening on 127.0.0.1:<port>"
  QByteArray out;
  QElapsedTimer clock;
  clock.start();
  while (!out.contains('\n') && clock.elapsed() < 20000) {
    if (m_process.waitForReadyRead(200)) out += m_process.readAllStandardOutput();
    if (m_process.state() == QProcess::NotRunning) return false;
  }
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
  QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call);
  WaitFor([&] { return pending.isFinished(); }, 10000);
  return pending.reply();
}

QDBusMessage CLocalServerProcess::StartCommand(int httpPort, int servicePort,
                                               const std::string& root) {
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 1;
  cmd["INT_VERSION"] = 172;
  cmd["STR_LOCAL_SERVER_ROOT_PATH"] = root;
  cmd["STR_PROG_PATH"] = root;
  cmd["INT_LOCAL_SERVER_PORT"] = httpPort;
  cmd["STR_REMOTE_SERVER"] = "127.0.0.1";
  cmd["INT_REMOTE_SERVER_PORT"] = servicePort;
  cmd["INT_TEST_ALONE"] = 0;
  return Command(cmd);
}

QDBusMessage CLocalServerProcess::Login(const std::string& utf8User) {
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 2;
  cmd["INT_USER_ID"] = 0;
  cmd["STR_USERNAME"] = utf8User;
  cmd["STR_USER_DB_FILE"] = "/nonexistent/users/" + utf8User + "/db.dat";
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

namespace service {
bool Register(int port, const std::string& gbkUser) {
  httplib::Client client("127.0.0.1", port);
  const httplib::Params params{
      {"username", gbkUser}, {"md5_passwd", kDigest}, {"action", "add"}, {"iVersion", "172"}};
  auto res = client.Get("/urls/UserRegister", params, httplib::Headers{});
  return res && res->status == 200 && res->body == kMarker;
}

bool Rate(int port, const std::string& gbkUser, unsigned movie, int score, bool toAll) {
  httplib::Client client("127.0.0.1", port);
  // The name travels encoded twice: httplib adds the outer encoding.
  const httplib::Params params{{"username", PercentEncode(gbkUser)},
                               {"eval", std::to_string(movie) + "," + std::to_string(score)},
                               {"iIsRmdAllFriend", toAll ? "1" : "0"}};
  auto res = client.Get("/urls/UserReportStatus", params, httplib::Headers{});
  return res && res->status == 200 && res->body == kMarker;
}

int Post(int port, const std::string& path,
         const std::vector<std::pair<std::string, std::string>>& form) {
  httplib::Client client("127.0.0.1", port);
  httplib::Params params;
  for (const auto& [k, v] : form) params.emplace(k, v);
  auto res = client.Post(path.c_str(), params);
  return res ? res->status : -1;
}

bool GetJson(int port, const std::string& path, Json::Value& out) {
  httplib::Client client("127.0.0.1", port);
  auto res = client.Get(path.c_str());
  return res && res->status == 200 && ParseJson(res->body, out);
}
}  // namespace service
