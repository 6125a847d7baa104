#pragma once
#include <QDBusConnection>
#include <QStringList>

#include "zenuModule/src/desktop/Automation.h"

// A component reached over D-Bus: interface = its identifier, object "/", and
// the calls addressed to the unique name it had when created, so that a process
// taking the identifier later never receives them.
// Method ids are the positions of the methods in the object's introspection.
class CDBusComponentObject final : public IAutomationObject {
 public:
  // Calls wait this long at most: a stuck component must not freeze the client.
  static constexpr int kCallTimeoutMs = 5000;

  CDBusComponentObject(const QDBusConnection& connection, const QString& identifier,
                       const QString& peer);
  ~CDBusComponentObject() override;
  CDBusComponentObject(const CDBusComponentObject&) = delete;
  CDBusComponentObject& operator=(const CDBusComponentObject&) = delete;

  int32_t GetIDsOfNames(const CString& name, DISPID& id) override;
  int32_t Invoke(DISPID id, const CString* arg, CString& result) override;
  int32_t InvokeArgs(DISPID id, const std::vector<SAutomationArg>& args, CString& result) override;
  CString PeerName() const override;
  bool IsAlive() override;

  // Maps a D-Bus error to the automation result codes.
  static int32_t ResultOf(const QDBusError& error);

 private:
  int32_t LoadMethods();
  int32_t Call(DISPID id, const QVariantList& args, CString& result);

  QDBusConnection m_connection;
  QString m_identifier;
  QString m_peer;
  QStringList m_methods;
};
