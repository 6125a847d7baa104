#include "DesktopNotifications.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {
constexpr int kCallTimeoutMs = 5000;
const char kDesktopId[] = "net.vadeko.Vadeko";
}  // namespace

CDesktopNotifications::CDesktopNotifications(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus) {}

bool CDesktopNotifications::Show(const QString& title, const QString& text, int timeoutMs) {
  const QString service = QString::fromLatin1(kService);
  if (!m_bus.isConnected() || !m_bus.interface() ||
      !m_bus.interface()->isServiceRegistered(service).value()) {
    return false;
  }
  if (!m_bConnected) {
    // Signals only from the service's owner, and only for our own ids (below).
    const QString path = QString::fromLatin1(kPath);
    m_bus.connect(service, path, service, QStringLiteral("ActionInvoked"), this,
                  SLOT(OnActionInvoked(uint, QString)));
    m_bus.connect(service, path, service, QStringLiteral("NotificationClosed"), this,
                  SLOT(OnNotificationClosed(uint, uint)));
    m_bConnected = true;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(service, QString::fromLatin1(kPath), service,
                                                     QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopId));
  call << QStringLiteral("Vadeko") << m_lastId << QString::fromLatin1(kDesktopId) << title << text
       << QStringList{QStringLiteral("default"), QStringLiteral("打开窗口")} << hints << timeoutMs;
  auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, title, text](QDBusPendingCallWatcher* done) {
            const QDBusPendingReply<uint> reply = *done;
            done->deleteLater();
            if (reply.isError()) {
              emit failed(title, text);
              return;
            }
            m_lastId = reply.value();
          });
  return true;
}

void CDesktopNotifications::OnActionInvoked(uint id, const QString& action) {
  if (id != 0 && id == m_lastId && action == QLatin1String("default")) emit clicked();
}

void CDesktopNotifications::OnNotificationClosed(uint id, uint) {
  if (id == m_lastId) m_lastId = 0;
}
