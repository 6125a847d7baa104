#include "LocalSrvAdaptor.h"

#include "LocalSrvCommands.h"

CLocalSrvAdaptor::CLocalSrvAdaptor(CLocalSrvCommands* commands)
    : QDBusAbstractAdaptor(commands), m_commands(commands) {}

int CLocalSrvAdaptor::OnOrvexCmd(const QString& json, const QDBusMessage& message) {
  m_commands->OnOrvexCmd(json, message);
  return 0;  // the reply was sent by the command itself
}
