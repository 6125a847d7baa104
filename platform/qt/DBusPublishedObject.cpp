#include "DBusPublishedObject.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMetaObject>

#include "QtText.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/ProgramException.h"

namespace {
const QString kApplicationInterface = QStringLiteral("org.freedesktop.Application");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kErrorName = QStringLiteral("zenu.Error.Exception");
}  // namespace

CDBusPublishedObject::CDBusPublishedObject(const QDBusConnection& connection,
                                           SAutomationClass cls)
    : m_connection(connection), m_class(std::move(cls)),
      m_name(QStringFromGBK(m_class.strIdentifier)) {}

CDBusPublishedObject::~CDBusPublishedObject() {
  if (m_bObjectRegistered) m_connection.unregisterObject(QStringLiteral("/"));
  if (m_bOwnsName) m_connection.unregisterService(m_name);
}

int32_t CDBusPublishedObject::Start() {
  if (!m_connection.isConnected()) return AUTO_E_DISCONNECTED;
  QDBusConnectionInterface* bus = m_connection.interface();
  // The bus reports a name we already own as registered again: a second
  // publication from this process must fail like one from another process.
  const QDBusReply<bool> owned = bus->isServiceRegistered(m_name);
  if (!owned.isValid()) return AUTO_E_DISCONNECTED;
  if (owned.value()) return AUTO_E_NAME_TAKEN;
  const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> registered =
      bus->registerService(m_name, QDBusConnectionInterface::DontQueueService,
                           QDBusConnectionInterface::DontAllowReplacement);
  if (!registered.isValid()) return AUTO_E_DISCONNECTED;
  if (registered.value() != QDBusConnectionInterface::ServiceRegistered) return AUTO_E_NAME_TAKEN;
  m_bOwnsName = true;
  if (!m_connection.registerVirtualObject(QStringLiteral("/"), this)) return AUTO_E_FAIL;
  m_bObjectRegistered = true;
  return AUTO_S_OK;
}

QString CDBusPublishedObject::introspect(const QString& /*path*/) const {
  QString xml = QStringLiteral("  <interface name=\"%1\">\n").arg(m_name);
  for (const auto& p : m_class.properties) {
    xml += QStringLiteral("    <property name=\"%1\" type=\"i\" access=\"readwrite\"/>\n")
               .arg(QStringFromGBK(p.strName));
  }
  for (const auto& m : m_class.methods) {
    xml += QStringLiteral("    <method name=\"%1\">\n").arg(QStringFromGBK(m.strName));
    if (m.bTextArg) xml += QStringLiteral("      <arg name=\"text\" type=\"s\" direction=\"in\"/>\n");
    xml += QStringLiteral("      <arg type=\"i\" direction=\"out\"/>\n    </method>\n");
  }
  xml += QStringLiteral("  </interface>\n");
  if (m_class.onActivate) {
    xml += QStringLiteral(
        "  <interface name=\"org.freedesktop.Application\">\n"
        "    <method name=\"Activate\">\n"
        "      <arg name=\"platform_data\" type=\"a{sv}\" direction=\"in\"/>\n"
        "    </method>\n"
        "  </interface>\n");
  }
  return xml;
}

bool CDBusPublishedObject::handleMessage(const QDBusMessage& message,
                                         const QDBusConnection& /*connection*/) {
  if (message.type() != QDBusMessage::MethodCallMessage) return false;
  const QString iface = message.interface();
  // Introspection and Peer are answered by Qt and the bus library.
  if (iface != m_name && iface != kPropertiesInterface && iface != kApplicationInterface &&
      !iface.isEmpty())
    return false;
  if (iface.isEmpty() && (message.member() == QLatin1String("Introspect") ||
                          message.member() == QLatin1String("Ping")))
    return false;
  message.setDelayedReply(true);
  // The work runs from the UI thread's loop, whatever thread delivers the message.
  QMetaObject::invokeMethod(
      this, [this, message] { Handle(message); }, Qt::QueuedConnection);
  return true;
}

void CDBusPublishedObject::Reply(const QDBusMessage& message, const QDBusMessage& reply) {
  if (message.isReplyRequired()) m_connection.send(reply);
}

void CDBusPublishedObject::Handle(const QDBusMessage& message) {
  const QString iface = message.interface();
  QDBusMessage reply;
  try {
    if (iface == kApplicationInterface) {
      if (message.member() == QLatin1String("Activate") && m_class.onActivate) {
        m_class.onActivate();
        reply = message.createReply();
      } else {
        reply = message.createErrorReply(QDBusError::UnknownMethod, message.member());
      }
    } else if (!CallerAllowed(message)) {
      reply = message.createErrorReply(QDBusError::AccessDenied,
                                       QStringLiteral("not accepted from this caller"));
    } else if (iface == kPropertiesInterface) {
      reply = CallProperties(message);
    } else {
      reply = CallMethod(message);
    }
  } catch (CProgramException* e) {
    // The caller gets the error; the program goes on, as a dispatch server does.
    const CString text = e->GetErrInfo().empty() ? e->GetError() : e->GetErrInfo();
    e->Delete();
    WriteErrorLog(text);
    reply = message.createErrorReply(kErrorName, QStringFromGBK(text));
  } catch (const std::exception& e) {
    reply = message.createErrorReply(kErrorName, QString::fromLocal8Bit(e.what()));
  } catch (...) {
    reply = message.createErrorReply(kErrorName, QStringLiteral("Pure C++ error"));
  }
  Reply(message, reply);
}

bool CDBusPublishedObject::CallerAllowed(const QDBusMessage& message) const {
  if (!m_class.allowCaller) return true;
  CString member = GBKFromQString(message.member());
  if (message.interface() == kPropertiesInterface) {
    if (message.member() != QLatin1String("Set")) return true;
    member = GBKFromQString(message.arguments().value(1).toString());
  }
  return m_class.allowCaller(member, GBKFromQString(message.service()));
}

QDBusMessage CDBusPublishedObject::CallMethod(const QDBusMessage& message) {
  const CString member = GBKFromQString(message.member());
  for (const auto& m : m_class.methods) {
    if (m.strName != member) continue;
    const QList<QVariant> args = message.arguments();
    const bool argsFit = m.bTextArg ? args.size() == 1 && args.at(0).userType() == QMetaType::QString
                                    : args.isEmpty();
    if (!argsFit) {
      return message.createErrorReply(
          QDBusError::InvalidArgs,
          QStringLiteral("%1 takes %2").arg(message.member(),
                                            m.bTextArg ? QStringLiteral("one text")
                                                       : QStringLiteral("no argument")));
    }
    const CString text = m.bTextArg ? GBKFromQString(args.at(0).toString()) : CString();
    const long result = m.handler(text);
    return message.createReply(QVariant::fromValue(static_cast<int>(result)));
  }
  return message.createErrorReply(QDBusError::UnknownMethod, message.member());
}

QDBusMessage CDBusPublishedObject::CallProperties(const QDBusMessage& message) {
  const QList<QVariant> args = message.arguments();
  const QString member = message.member();
  if (member == QLatin1String("GetAll")) {
    QVariantMap all;
    for (const auto& p : m_class.properties)
      all.insert(QStringFromGBK(p.strName), static_cast<int>(p.get()));
    return message.createReply(QVariant::fromValue(all));
  }
  if (args.size() < 2) return message.createErrorReply(QDBusError::InvalidArgs, member);
  const CString name = GBKFromQString(args.at(1).toString());
  for (const auto& p : m_class.properties) {
    if (p.strName != name) continue;
    if (member == QLatin1String("Get")) {
      return message.createReply(
          QVariant::fromValue(QDBusVariant(static_cast<int>(p.get()))));
    }
    if (member == QLatin1String("Set") && args.size() == 3) {
      const QVariant value = args.at(2).value<QDBusVariant>().variant();
      bool ok = false;
      const int number = value.toInt(&ok);
      if (!ok) return message.createErrorReply(QDBusError::InvalidArgs, member);
      p.set(number);
      return message.createReply();
    }
    return message.createErrorReply(QDBusError::InvalidArgs, member);
  }
  return message.createErrorReply(QDBusError::UnknownProperty, args.at(1).toString());
}
