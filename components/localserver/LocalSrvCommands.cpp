#include "LocalSrvCommands.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QMetaObject>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "JsonText.h"
#include "PageRoutes.h"

namespace {
const QString kErrorName = QStringLiteral("zenu.Error.Exception");

int ReadInt(const Json::Value& doc, const char* key) {
  const Json::Value& v = doc[key];
  return v.isConvertibleTo(Json::intValue) ? v.asInt() : 0;
}

std::string ReadText(const Json::Value& doc, const char* key) {
  const Json::Value& v = doc[key];
  return v.isConvertibleTo(Json::stringValue) ? v.asString() : std::string();
}
}  // namespace

CLocalSrvCommands::CLocalSrvCommands(const QDBusConnection& connection)
    : m_connection(connection),
      m_client(connection),
      m_tasks(m_session, [this](const Json::Value& cmd) {
        // Checked again on this thread: nothing may reach the client after the stop.
        QMetaObject::invokeMethod(
            this,
            [this, cmd] {
              if (!m_tasks.IsStopped()) m_client.SendCommand(cmd);
            },
            Qt::QueuedConnection);
      }),
      m_queries(m_session, [this](const Json::Value& cmd) { m_client.SendCommand(cmd); }) {
  m_http.AddRoutes([this](httplib::Server& server) { m_tasks.InstallRoute(server); });
  // Pages, bulletins and page actions; one token for the whole run.
  auto pages = std::make_shared<CPageRoutes>(m_session, m_client);
  m_http.AddRoutes([pages](httplib::Server& server) { pages->Install(server); });
}

CLocalSrvCommands::~CLocalSrvCommands() {
  m_tasks.Stop();
  m_session.Service().CutOff();
  m_queries.Stop();
  m_http.Stop(kStopWait);
}

bool CLocalSrvCommands::StartServing(const Json::Value& cmd, std::string& error) {
  m_session.SetProgram(ReadText(cmd, "STR_PROG_PATH"), ReadInt(cmd, "INT_VERSION"));
  std::string remoteHost = ReadText(cmd, "STR_REMOTE_SERVER");
  // Launchers and tests may point the component at another service.
  if (const char* host = std::getenv("VADEKO_REMOTE_HOST"); host && *host) remoteHost = host;
  m_session.Service().SetAddress(remoteHost, ReadInt(cmd, "INT_REMOTE_SERVER_PORT"),
                                 ReadText(cmd, "STR_REMOTE_SCHEME") == "https");
  return m_http.Start(ReadInt(cmd, "INT_LOCAL_SERVER_PORT"),
                      ReadText(cmd, "STR_LOCAL_SERVER_ROOT_PATH"), error);
}

bool CLocalSrvCommands::ChangeService(const Json::Value& cmd) {
  const std::string host = ReadText(cmd, "STR_REMOTE_SERVER");
  const int port = ReadInt(cmd, "INT_REMOTE_SERVER_PORT");
  // It becomes part of every URL: a name, an address, or [IPv6], nothing more.
  if (host.empty() || host.size() > 255 || port < 1 || port > 65535) return false;
  for (const char c : host) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
    if (!ok) return false;
  }
  m_session.Service().SetAddress(host, port, ReadText(cmd, "STR_REMOTE_SCHEME") == "https");
  return true;
}

void CLocalSrvCommands::OnOrvexCmd(const QString& json, const QDBusMessage& message) {
  message.setDelayedReply(true);
  Json::Value cmd;
  if (!ParseJsonObject(json.toStdString(), cmd)) {
    m_connection.send(
        message.createErrorReply(kErrorName, QStringLiteral("not a command document")));
    return;
  }
  switch (ReadInt(cmd, "INT_CMD_IDX")) {
    case 1: {
      std::string error;
      if (!StartServing(cmd, error)) {
        std::fprintf(stderr, "zenu-localserver: %s\n", error.c_str());
        m_connection.send(message.createErrorReply(kErrorName, QString::fromStdString(error)));
        return;
      }
      // The port it listens on, which may not be the one asked for.
      m_connection.send(message.createReply(m_http.Port()));
      m_client.ReportRemoteHost(m_session.Service().Host());
      m_client.ReportReady();
      return;
    }
    case 3:
      // The user chose another service: later requests go there.
      if (!ChangeService(cmd)) {
        m_connection.send(
            message.createErrorReply(kErrorName, QStringLiteral("not a service address")));
        return;
      }
      m_connection.send(message.createReply(0));
      m_client.ReportRemoteHost(m_session.Service().Host());
      return;
    case 2:
      m_session.SetUser(ReadText(cmd, "STR_USERNAME"), ReadText(cmd, "STR_USER_DB_FILE"));
      break;
    case CPushQueries::kDismiss:
    case CPushQueries::kReason: {
      const Json::Value& id = cmd["INT_MOVIE_ID"];
      m_queries.Ask(ReadInt(cmd, "INT_CMD_IDX"),
                    id.isConvertibleTo(Json::uintValue) ? id.asLargestInt() : -1);
      break;
    }
    case 100:
      m_tasks.Stop();
      m_connection.send(message.createReply(0));
      FlushBus();
      Shutdown();
      return;
    default:
      break;
  }
  m_connection.send(message.createReply(0));
}

void CLocalSrvCommands::FlushBus() {
  // Once the bus answers, everything we sent before has reached it.
  m_connection.call(QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
}

void CLocalSrvCommands::Shutdown() {
  if (m_bShuttingDown) return;
  m_bShuttingDown = true;
  // Whatever a peer does from here on, the process ends in time.
  std::thread([] {
    std::this_thread::sleep_for(kExitDeadline);
    std::_Exit(0);
  }).detach();
  // The name first: a client starting now must not find this process behind it.
  if (m_connection.isConnected()) {
    m_connection.interface()->unregisterService(QStringLiteral("zenu.LocalServer"));
  }
  m_tasks.Stop();
  m_session.Service().CutOff();
  m_queries.Stop();
  m_http.Stop(kStopWait);
  QCoreApplication::quit();
}
