#pragma once
#include <QDBusAbstractAdaptor>
#include <QDBusMessage>

class CLocalSrvCommands;

// The component's interface on the bus: one method taking a JSON command document.
class CLocalSrvAdaptor final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "zenu.LocalServer")

 public:
  explicit CLocalSrvAdaptor(CLocalSrvCommands* commands);

 public Q_SLOTS:
  int OnOrvexCmd(const QString& json, const QDBusMessage& message);

 private:
  CLocalSrvCommands* m_commands;
};
