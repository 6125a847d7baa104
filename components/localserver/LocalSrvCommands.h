#pragma once
#include <QDBusConnection>
#include <QObject>
#include <string>

#include "LocalHttpServer.h"
#include "OrvexClient.h"

class QDBusMessage;

// What the client's commands do: 1 start serving and report ready, 2 the user
// who logged in, 100 stop serving and end the process.
class CLocalSrvCommands final : public QObject {
 public:
  explicit CLocalSrvCommands(const QDBusConnection& connection);
  ~CLocalSrvCommands() override;

  // Answers the call itself (the stop command must answer before the process ends).
  void OnOrvexCmd(const QString& json, const QDBusMessage& message);
  // Stops serving and ends the event loop.
  void Shutdown();

  const std::string& UserName() const { return m_userName; }
  const std::string& UserDbFile() const { return m_userDbFile; }

 private:
  bool StartServing(const class Json::Value& cmd, std::string& error);
  void FlushBus();

  QDBusConnection m_connection;
  CLocalHttpServer m_http;
  COrvexClient m_client;
  std::string m_progPath;
  std::string m_remoteHost;
  int m_remotePort = 0;
  int m_version = 0;
  std::string m_userName;
  std::string m_userDbFile;
  bool m_bShuttingDown = false;
};
