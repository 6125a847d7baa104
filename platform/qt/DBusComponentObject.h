#pragma once
#include <QDBusConnection>
#include <QStringList>

#include "zenuModule/src/desktop/Automation.h"

// A component reached over D-Bus: service = interface = its identifier, object "/".
// Method ids are the positions of the methods in the object's introspection.
class CDBusComponentObject final : public IAutomationObject {
 public:
  CDBusComponentObject(const QDBusConnection& connection, const QString& identifier);
  ~CDBusComponentObject() override;
  CDBusComponentObject(const CDBusComponentObject&) = delete;
  CDBusComponentObject& operator=(const CDBusComponentObject&) = delete;

  int32_t GetIDsOfNames(const CString& name, DISPID& id) override;
  int32_t Invoke(DISPID id, const CString* arg, CString& result) override;

  // Maps a D-Bus error to the automation result codes.
  static int32_t ResultOf(const QDBusError& error);

 private:
  int32_t LoadMethods();

  QDBusConnection m_connection;
  QString m_identifier;
  QStringList m_methods;
};
