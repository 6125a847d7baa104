#pragma once
#include <QDBusConnection>
#include <QDBusVirtualObject>

#include "zenuModule/src/desktop/Automation.h"

// An object of ours on the bus: the identifier is both its bus name and its
// interface, the object path is "/". Calls are answered from the UI thread.
class CDBusPublishedObject final : public QDBusVirtualObject, public IAutomationPublication {
 public:
  CDBusPublishedObject(const QDBusConnection& connection, SAutomationClass cls);
  ~CDBusPublishedObject() override;
  CDBusPublishedObject(const CDBusPublishedObject&) = delete;
  CDBusPublishedObject& operator=(const CDBusPublishedObject&) = delete;

  // Takes the name and registers the object; AUTO_E_NAME_TAKEN when owned elsewhere.
  int32_t Start();

  QString introspect(const QString& path) const override;
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

 private:
  void Handle(const QDBusMessage& message);
  bool CallerAllowed(const QDBusMessage& message) const;
  QDBusMessage CallMethod(const QDBusMessage& message);
  QDBusMessage CallProperties(const QDBusMessage& message);
  void Reply(const QDBusMessage& message, const QDBusMessage& reply);

  QDBusConnection m_connection;
  SAutomationClass m_class;
  QString m_name;
  bool m_bOwnsName = false;
  bool m_bObjectRegistered = false;
};
