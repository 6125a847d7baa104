#pragma once
#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QSet>

#include "zenuModule/src/desktop/Automation.h"

// Automation on the session bus. A component's executable is named after its
// identifier ("zenu.LocalServer" -> "zenu-localserver") and started from the
// program folder, or from the folder of the running executable. A few
// identifiers are a mode of another component ("zenu.BTShare" is
// "zenu-btdownload --share").
class CDBusAutomation final : public QObject, public IAutomation {
 public:
  static constexpr int kStartWaitMs = 10000;

  explicit CDBusAutomation(const QDBusConnection& connection = QDBusConnection::sessionBus());
  ~CDBusAutomation() override;

  int32_t CreateInstance(const CString& progId,
                         std::unique_ptr<IAutomationObject>& object) override;
  int32_t Publish(const SAutomationClass& cls,
                  std::unique_ptr<IAutomationPublication>& publication) override;
  int32_t ActivateOwner(const CString& identifier) override;
  bool GetHolder(const CString& identifier, uint32_t& pid, CString& program) override;

  static QString ExecutableName(const QString& identifier);
  // The component's file, or empty when neither folder holds it.
  static QString FindExecutable(const QString& identifier);

 private:
  int32_t StartComponent(const QString& identifier, qint64& pid);

  QDBusConnection m_connection;
  QSet<qint64> m_started;         // processes of the components this program started
  QHash<QString, uint> m_heldBy;  // the stranger last logged as holding a name
};
