#include "WebRig.h"

#include <iconv.h>
#include <json/reader.h>
#include <json/writer.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QThread>
#include <cctype>
#include <cstdlib>

namespace {
CWebRig* g_rig = nullptr;

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  ::close(fd);
  return port;
}

std::string PercentEncode(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string ToGbk(const std::string& utf8) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* to = out.data();
  size_t outLeft = out.size();
  iconv(cd, &in, &inLeft, &to, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

std::string Write(const Json::Value& v) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, v);
}
}  // namespace

std::vector<Json::Value> CRecordingOrvex::WithIndex(int index) const {
  std::vector<Json::Value> out;
  for (const Json::Value& c : commands) {
    if (c["INT_CMD_IDX"].asInt() == index) out.push_back(c);
  }
  return out;
}

int CRecordingOrvex::OnLocalSrvCmd(const QString& json) {
  Json::Value doc = CWebRig::Parse(json.toStdString());
  if (doc.isObject()) {
    commands.push_back(doc);
  } else {
    ++iUnparsable;
  }
  return 0;
}

CWebRig& CWebRig::Get() {
  if (!g_rig) {
    g_rig = new CWebRig();
    if (!g_rig->Start() && g_rig->m_error.empty()) g_rig->m_error = "start failed";
  }
  return *g_rig;
}

void CWebRig::Shutdown() {
  delete g_rig;
  g_rig = nullptr;
}

CWebRig::CWebRig() = default;

CWebRig::~CWebRig() {
  QDBusConnection::sessionBus().unregisterService(QStringLiteral("zenu.Orvex"));
  if (m_component.state() != QProcess::NotRunning) {
    Json::Value stop(Json::objectValue);
    stop["INT_CMD_IDX"] = 100;
    SendToComponent(stop);
    if (!m_component.waitForFinished(5000)) m_component.kill();
  }
  if (m_service.state() != QProcess::NotRunning) {
    m_service.terminate();
    if (!m_service.waitForFinished(5000)) m_service.kill();
  }
}

Json::Value CWebRig::Parse(const std::string& text) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value v;
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &v, &errors)) return Json::Value();
  return v;
}

bool CWebRig::WaitFor(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

bool CWebRig::WaitCommand(int index, size_t from, Json::Value& out, int ms) {
  return WaitFor(
      [&] {
        for (size_t i = from; i < m_orvex.commands.size(); ++i) {
          if (m_orvex.commands[i]["INT_CMD_IDX"].asInt() == index) {
            out = m_orvex.commands[i];
            return true;
          }
        }
        return false;
      },
      ms);
}

bool CWebRig::SendToComponent(const Json::Value& cmd) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("zenu.LocalServer"), QStringLiteral("/"), QStringLiteral("zenu.LocalServer"),
      QStringLiteral("OnOrvexCmd"));
  call << QString::fromStdString(Write(cmd));
  const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
  if (reply.type() == QDBusMessage::ErrorMessage) {
    m_error = "component refused a command: " + reply.errorMessage().toStdString();
    return false;
  }
  return true;
}

bool CWebRig::Start() {
  if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
    m_error = "no session bus: run under dbus-run-session";
    return false;
  }
  if (!m_dir.isValid()) {
    m_error = "no temporary folder";
    return false;
  }
  // The service, with a catalogue small enough to make in a moment.
  m_service.setProcessChannelMode(QProcess::MergedChannels);
  m_service.start(QStringLiteral(ZENU_SERVICE_EXE),
                  {"--port", "0", "--data", m_dir.filePath("data"), "--demo-movies", "16",
                   "--demo-min-kib", "4", "--demo-max-kib", "8", "--threads", "4"});
  std::string output;
  const bool listening = WaitFor(
      [&] {
        m_service.waitForReadyRead(50);
        output += m_service.readAll().toStdString();
        return output.find("listening on") != std::string::npos &&
               output.find('\n', output.find("listening on")) != std::string::npos;
      },
      20000);
  if (!listening) {
    m_error = "zenu-service did not start: " + output;
    return false;
  }
  const size_t at = output.find("listening on");
  const size_t colon = output.rfind(':', output.find('\n', at));
  m_servicePort = std::atoi(output.c_str() + colon + 1);

  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.registerObject(QStringLiteral("/"), &m_orvex, QDBusConnection::ExportAllSlots) ||
      !bus.registerService(QStringLiteral("zenu.Orvex"))) {
    m_error = "cannot own zenu.Orvex";
    return false;
  }
  m_component.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  m_component.start(QStringLiteral(ZENU_LOCALSERVER_EXE), {"--owner", bus.baseService()});
  if (!WaitFor([&] {
        return bus.interface()->isServiceRegistered(QStringLiteral("zenu.LocalServer")).value();
      })) {
    m_error = "zenu-localserver did not take its bus name";
    return false;
  }
  m_port = FreePort();
  const size_t before = m_orvex.commands.size();
  if (!PointAtService(m_servicePort)) return false;
  Json::Value ready;
  if (!WaitCommand(100, before, ready)) {
    m_error = "no ready command from the component";
    return false;
  }

  // A page carries the token of this run.
  auto page = Http()->Get("/search_home.html");
  if (!page || page->status != 200) {
    m_error = "search page not served";
    return false;
  }
  const std::string marker = "name=\"vadeko-token\" content=\"";
  const size_t tokenAt = page->body.find(marker);
  if (tokenAt == std::string::npos) {
    m_error = "no token in the search page";
    return false;
  }
  m_token = page->body.substr(tokenAt + marker.size(), 32);

  // Every movie: ids run from 1; fetch method 5 is every eighth.
  for (int id = 1; id <= 16 && (!m_btMovie || !m_thunderMovie); ++id) {
    const Json::Value details = ServiceJson("/api/v1/movies/" + std::to_string(id));
    if (!details.isObject()) continue;
    const int method = details["fetch_method"].asInt();
    if (method == 1 && !m_btMovie) m_btMovie = id;
    if (method == 5 && !m_thunderMovie) m_thunderMovie = id;
  }
  if (!m_btMovie || !m_thunderMovie) {
    m_error = "catalogue lacks a BitTorrent or a download-manager movie";
    return false;
  }
  if (!RegisterUser("alice") || !RegisterUser("bob") || !RegisterUser("张三")) {
    m_error = "cannot register the test users";
    return false;
  }
  SetUser("alice");
  return true;
}

bool CWebRig::PointAtService(int port) {
  Json::Value start(Json::objectValue);
  start["INT_CMD_IDX"] = 1;
  start["INT_VERSION"] = 172;
  start["STR_LOCAL_SERVER_ROOT_PATH"] = std::string(VADEKO_PROGRAM_DIR) + "/root";
  start["STR_PROG_PATH"] = std::string(VADEKO_PROGRAM_DIR) + "/";
  start["INT_LOCAL_SERVER_PORT"] = m_port;
  start["STR_REMOTE_SERVER"] = "127.0.0.1";
  start["INT_REMOTE_SERVER_PORT"] = port;
  start["INT_TEST_ALONE"] = 0;
  return SendToComponent(start);
}

void CWebRig::SetUser(const std::string& name) {
  Json::Value login(Json::objectValue);
  login["INT_CMD_IDX"] = 2;
  login["INT_USER_ID"] = 0;
  login["STR_USERNAME"] = name;
  login["STR_USER_DB_FILE"] = std::string(VADEKO_PROGRAM_DIR) + "/users/" + name + "/db.dat";
  SendToComponent(login);
}

std::unique_ptr<httplib::Client> CWebRig::Http() const {
  auto client = std::make_unique<httplib::Client>("127.0.0.1", m_port);
  client->set_connection_timeout(5, 0);
  client->set_read_timeout(40, 0);
  return client;
}

httplib::Result CWebRig::Action(const std::string& name, const std::string& body,
                                const httplib::Headers& extra) const {
  httplib::Headers headers = {{"X-Vadeko-Token", m_token},
                              {"Origin", BaseUrl()},
                              {"Sec-Fetch-Site", "same-origin"}};
  for (const auto& [key, value] : extra) {
    headers.erase(key);
    headers.emplace(key, value);
  }
  std::string type = "application/json";
  if (auto t = headers.find("Content-Type"); t != headers.end()) {
    type = t->second;
    headers.erase(t);
  }
  return Http()->Post(("/api/" + name).c_str(), headers, body, type.c_str());
}

Json::Value CWebRig::ServiceJson(const std::string& path) const {
  httplib::Client client("127.0.0.1", m_servicePort);
  client.set_url_encode(false);
  auto res = client.Get(path.c_str());
  if (!res || res->status != 200) return Json::Value();
  return Parse(res->body);
}

bool CWebRig::RegisterUser(const std::string& utf8Name) {
  httplib::Client client("127.0.0.1", m_servicePort);
  client.set_url_encode(false);
  auto res = client.Get(("/urls/UserRegister?username=" + PercentEncode(ToGbk(utf8Name)) +
                         "&md5_passwd=0123456789abcdef0123456789abcdef&action=add&iVersion=172")
                            .c_str());
  return res && res->status == 200;
}

bool CWebRig::Rate(const std::string& utf8Name, int movieId, int score, bool recommendAll,
                   const std::string& comment) {
  httplib::Client client("127.0.0.1", m_servicePort);
  client.set_url_encode(false);
  auto res = client.Get(("/urls/UserReportStatus?username=" +
                         PercentEncode(PercentEncode(ToGbk(utf8Name))) + "&eval=" +
                         std::to_string(movieId) + "," + std::to_string(score) +
                         "&iIsRmdAllFriend=" + (recommendAll ? "1" : "0") +
                         "&utf8Comment=" + PercentEncode(comment))
                            .c_str());
  return res && res->status == 200;
}

std::string CWebRig::TitleOf(int movieId) const {
  return ServiceJson("/api/v1/movies/" + std::to_string(movieId))["title"].asString();
}
