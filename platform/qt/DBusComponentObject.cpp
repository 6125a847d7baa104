#include "DBusComponentObject.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QXmlStreamReader>

#include "QtText.h"

CDBusComponentObject::CDBusComponentObject(const QDBusConnection& connection,
                                           const QString& identifier, const QString& peer)
    : m_connection(connection), m_identifier(identifier), m_peer(peer) {}

CString CDBusComponentObject::PeerName() const { return GBKFromQString(m_peer); }

bool CDBusComponentObject::IsAlive() {
  const QDBusReply<bool> registered = m_connection.interface()->isServiceRegistered(m_peer);
  return registered.isValid() && registered.value();
}

// Nothing to release on the bus: the component lives until its stop command
// or until its client leaves.
CDBusComponentObject::~CDBusComponentObject() = default;

int32_t CDBusComponentObject::ResultOf(const QDBusError& error) {
  switch (error.type()) {
    case QDBusError::NoError:
      return AUTO_S_OK;
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownProperty:
      return AUTO_E_MEMBERNOTFOUND;
    case QDBusError::InvalidArgs:
    case QDBusError::InvalidSignature:
      return AUTO_E_BADPARAMCOUNT;
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
      return AUTO_E_TIMEOUT;
    case QDBusError::ServiceUnknown:
    case QDBusError::Disconnected:
    case QDBusError::NoServer:
    case QDBusError::NoNetwork:
      return AUTO_E_DISCONNECTED;
    default:
      return error.name().startsWith(QLatin1String("zenu.Error")) ? AUTO_E_EXCEPTION : AUTO_E_FAIL;
  }
}

int32_t CDBusComponentObject::LoadMethods() {
  if (!m_methods.isEmpty()) return AUTO_S_OK;
  QDBusMessage call = QDBusMessage::createMethodCall(
      m_peer, QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Introspectable"),
      QStringLiteral("Introspect"));
  const QDBusMessage reply = m_connection.call(call, QDBus::Block, kCallTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
    return reply.type() == QDBusMessage::ErrorMessage ? ResultOf(QDBusError(reply)) : AUTO_E_FAIL;

  QXmlStreamReader xml(reply.arguments().at(0).toString());
  bool inInterface = false;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == QLatin1String("interface")) {
      inInterface = xml.attributes().value(QLatin1String("name")) == m_identifier;
    } else if (xml.isEndElement() && xml.name() == QLatin1String("interface")) {
      inInterface = false;
    } else if (inInterface && xml.isStartElement() && xml.name() == QLatin1String("method")) {
      m_methods.append(xml.attributes().value(QLatin1String("name")).toString());
    }
  }
  return m_methods.isEmpty() ? AUTO_E_MEMBERNOTFOUND : AUTO_S_OK;
}

int32_t CDBusComponentObject::GetIDsOfNames(const CString& name, DISPID& id) {
  const int32_t hr = LoadMethods();
  if (hr < 0) return hr;
  const int index = m_methods.indexOf(QStringFromGBK(name));
  if (index < 0) return AUTO_E_UNKNOWNNAME;
  id = index + 1;
  return AUTO_S_OK;
}

int32_t CDBusComponentObject::Invoke(DISPID id, const CString* arg, CString& result) {
  QVariantList args;
  if (arg) args << QStringFromGBK(*arg);
  return Call(id, args, result);
}

int32_t CDBusComponentObject::InvokeArgs(DISPID id, const std::vector<SAutomationArg>& args,
                                         CString& result) {
  QVariantList values;
  for (const SAutomationArg& arg : args) {
    switch (arg.eKind) {
      case SAutomationArg::TEXT:
        values << QStringFromGBK(arg.strText);
        break;
      case SAutomationArg::INT32:
        values << QVariant::fromValue(static_cast<qint32>(arg.iNumber));
        break;
      case SAutomationArg::UINT32:
        values << QVariant::fromValue(static_cast<quint32>(arg.iNumber));
        break;
    }
  }
  return Call(id, values, result);
}

int32_t CDBusComponentObject::Call(DISPID id, const QVariantList& args, CString& result) {
  const int32_t hr = LoadMethods();
  if (hr < 0) return hr;
  if (id < 1 || id > m_methods.size()) return AUTO_E_MEMBERNOTFOUND;
  QDBusMessage call = QDBusMessage::createMethodCall(m_peer, QStringLiteral("/"), m_identifier,
                                                     m_methods.at(id - 1));
  call.setArguments(args);
  // Blocking without an event loop: the component never waits on us while we
  // call it, and its own calls to us queue until we return.
  const QDBusMessage reply = m_connection.call(call, QDBus::Block, kCallTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage) {
    const int32_t error = ResultOf(QDBusError(reply));
    return error < 0 ? error : AUTO_E_FAIL;
  }
  result.clear();
  if (!reply.arguments().isEmpty()) {
    const QVariant value = reply.arguments().at(0);
    if (value.userType() == QMetaType::QString) {
      result = GBKFromQString(value.toString());
    } else if (value.canConvert<qlonglong>()) {
      result = std::to_string(value.toLongLong());
    }
  }
  return AUTO_S_OK;
}
