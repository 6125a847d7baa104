#pragma once
#include <json/value.h>

#include <QDBusConnection>
#include <QObject>

// Calls into the client's automation object "zenu.Orvex", addressed to the
// client that started this component (whoever takes the name later hears
// nothing of the user's movies). Never waits for the
// answer: the client may be inside a call to us at that moment. Callable from
// any thread; commands keep the order in which they were sent.
class COrvexClient final : public QObject {
 public:
  explicit COrvexClient(const QDBusConnection& connection, QObject* parent = nullptr);

  void SendCommand(const Json::Value& document);
  // Command 200: the remote service host this component talks to.
  void ReportRemoteHost(const std::string& host);
  // Command 100: ready for the client's session.
  void ReportReady();

 private:
  QDBusConnection m_connection;
  QString m_destination;
};
