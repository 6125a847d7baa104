#pragma once
#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QPointer>

// Stands at the component's object path in place of its object: method calls
// from the client that started the component reach the object's adaptors as
// if exported directly; calls from anyone else get AccessDenied. Introspection
// stays open to all.
class COwnerGate final : public QDBusVirtualObject {
 public:
  COwnerGate(QObject* target, const QString& owner, const QDBusConnection& bus);

  QString introspect(const QString& path) const override;
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

 private:
  // Runs on the target's thread.
  void Deliver(const QDBusMessage& message);

  QPointer<QObject> m_target;
  QString m_owner;
  QDBusConnection m_bus;
};
