#include "WebRig.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <cstdlib>

#include "tests/componentrig/ServiceRequests.h"

namespace {
CWebRig* g_rig = nullptr;
}  // namespace

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

CWebRig::~CWebRig() { m_orvex.Unpublish(); }

bool CWebRig::Sent(const QDBusMessage& reply) {
  if (reply.type() == QDBusMessage::ReplyMessage) return true;
  m_error = "component refused a command: " + reply.errorMessage().toStdString();
  return false;
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
  if (!m_service.Start(m_dir.filePath("data").toStdString(), 0, 16)) {
    m_error = "zenu-service did not start: " + m_service.Output();
    return false;
  }
  if (!m_orvex.Publish()) {
    m_error = "cannot own zenu.Orvex";
    return false;
  }
  if (!m_component.Start()) {
    m_error = "zenu-localserver did not take its bus name";
    return false;
  }
  m_port = FreeLoopbackPort();
  const size_t before = m_orvex.commands.size();
  if (!PointAtService(m_service.Port())) return false;
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
  const std::string dir = VADEKO_PROGRAM_DIR;
  return Sent(m_component.StartCommand(m_port, port, dir + "/root", dir + "/"));
}

void CWebRig::SetUser(const std::string& name) {
  Sent(m_component.Login(
      name, m_dir.filePath("users/" + QString::fromStdString(name) + "/db.dat").toStdString()));
}

void CWebRig::ClearList(const std::string& name) {
  QFile::remove(m_dir.filePath("users/" + QString::fromStdString(name) + "/db.dat"));
}

bool CWebRig::PutInList(const std::string& name, int movieId, int status) {
  const QString folder = m_dir.filePath("users/" + QString::fromStdString(name));
  if (!QDir().mkpath(folder)) return false;
  sqlite3* db = nullptr;
  bool ok = sqlite3_open((folder + "/db.dat").toStdString().c_str(), &db) == SQLITE_OK;
  const std::string sql =
      "CREATE TABLE IF NOT EXISTS records (ulGID INTEGER PRIMARY KEY, eStatus INTEGER);"
      "INSERT OR REPLACE INTO records (ulGID, eStatus) VALUES (" +
      std::to_string(movieId) + ", " + std::to_string(status) + ");";
  ok = ok && sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

std::unique_ptr<httplib::Client> CWebRig::Http() const {
  auto client = std::make_unique<httplib::Client>("127.0.0.1", m_port);
  client->set_connection_timeout(5, 0);
  client->set_read_timeout(40, 0);
  return client;
}

httplib::Result CWebRig::Action(const std::string& name, const std::string& body,
                                const httplib::Headers& extra) const {
  httplib::Headers headers = {
      {"X-Vadeko-Token", m_token}, {"Origin", BaseUrl()}, {"Sec-Fetch-Site", "same-origin"}};
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
  Json::Value out;
  if (!service::GetJson(m_service.Port(), path, out)) return Json::Value();
  return out;
}

bool CWebRig::RegisterUser(const std::string& utf8Name) {
  return service::Register(m_service.Port(), Utf8ToGbk(utf8Name));
}

bool CWebRig::Rate(const std::string& utf8Name, int movieId, int score, bool recommendAll,
                   const std::string& comment) {
  return service::Rate(m_service.Port(), Utf8ToGbk(utf8Name), static_cast<unsigned>(movieId), score,
                       recommendAll, comment);
}

std::string CWebRig::TitleOf(int movieId) const {
  return ServiceJson("/api/v1/movies/" + std::to_string(movieId))["title"].asString();
}
