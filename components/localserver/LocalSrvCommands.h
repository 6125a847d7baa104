#pragma once
#include <QDBusConnection>
#include <QObject>
#include <chrono>
#include <string>

#include "ComponentSession.h"
#include "LocalHttpServer.h"
#include "OrvexClient.h"
#include "PushQueries.h"
#include "TaskRunner.h"

class QDBusMessage;

// What the client's commands do: 1 start serving and report ready, 2 the user
// who logged in, 3 another service address (reported back with command 200),
// 50 "不感兴趣" and 51 why a movie was pushed (answered later, see CPushQueries),
// 100 stop serving and end the process.
class CLocalSrvCommands final : public QObject {
 public:
  explicit CLocalSrvCommands(const QDBusConnection& connection);
  ~CLocalSrvCommands() override;

  // Answers the call itself (the stop command must answer before the process ends).
  void OnOrvexCmd(const QString& json, const QDBusMessage& message);
  // Stops serving and ends the event loop.
  void Shutdown();

  CComponentSession& Session() { return m_session; }

  // How long handlers under way get at the stop, and when the process ends
  // regardless of what its peers do.
  static constexpr std::chrono::milliseconds kStopWait{1500};
  static constexpr std::chrono::milliseconds kExitDeadline{2500};

 private:
  bool StartServing(const class Json::Value& cmd, std::string& error);
  bool ChangeService(const class Json::Value& cmd);
  void FlushBus();

  QDBusConnection m_connection;
  CComponentSession m_session;
  CLocalHttpServer m_http;
  COrvexClient m_client;
  CTaskRunner m_tasks;
  CPushQueries m_queries;
  bool m_bShuttingDown = false;
};
