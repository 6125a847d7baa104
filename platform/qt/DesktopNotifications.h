#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QString>

class QDBusError;

// Balloons as desktop notifications, where the session has a notification
// service (org.freedesktop.Notifications); each one replaces the last, as a
// tray balloon does.
class CDesktopNotifications final : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kService = "org.freedesktop.Notifications";
  static constexpr const char* kPath = "/org/freedesktop/Notifications";

  explicit CDesktopNotifications(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                 QObject* parent = nullptr);

  // False when there is no notification service: show it another way.
  bool Show(const QString& title, const QString& text, int timeoutMs);

 signals:
  void clicked();
  // The service refused or did not answer: show it another way.
  void failed(const QString& title, const QString& text);

 private slots:
  void OnActionInvoked(uint id, const QString& action);
  void OnNotificationClosed(uint id, uint reason);

 private:
  QDBusConnection m_bus;
  uint m_lastId = 0;
  bool m_bConnected = false;
};
