#include "OwnerGate.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QMetaMethod>
#include <QMetaObject>
#include <QVariant>

namespace {
const char kInterfaceInfo[] = "D-Bus Interface";

QString InterfaceOf(const QObject* adaptor) {
  const QMetaObject* meta = adaptor->metaObject();
  const int at = meta->indexOfClassInfo(kInterfaceInfo);
  return at >= 0 ? QString::fromLatin1(meta->classInfo(at).value()) : QString();
}

QString SignatureOf(QMetaType type) {
  switch (type.id()) {
    case QMetaType::QString:
      return QStringLiteral("s");
    case QMetaType::Int:
      return QStringLiteral("i");
    case QMetaType::UInt:
      return QStringLiteral("u");
    case QMetaType::Double:
      return QStringLiteral("d");
    case QMetaType::Bool:
      return QStringLiteral("b");
    case QMetaType::LongLong:
      return QStringLiteral("x");
    default:
      return QString();
  }
}

bool IsMessage(QMetaType type) { return type == QMetaType::fromType<QDBusMessage>(); }

// The public slots an adaptor declares itself, in declaration order.
QList<QMetaMethod> SlotsOf(const QObject* adaptor) {
  QList<QMetaMethod> out;
  const QMetaObject* meta = adaptor->metaObject();
  for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
    const QMetaMethod m = meta->method(i);
    if (m.methodType() == QMetaMethod::Slot && m.access() == QMetaMethod::Public) out.append(m);
  }
  return out;
}

int WireArgCount(const QMetaMethod& m) {
  int n = m.parameterCount();
  if (n > 0 && IsMessage(m.parameterMetaType(n - 1))) --n;
  return n;
}
}  // namespace

COwnerGate::COwnerGate(QObject* target, const QString& owner, const QDBusConnection& bus)
    : QDBusVirtualObject(target), m_target(target), m_owner(owner), m_bus(bus) {}

QString COwnerGate::introspect(const QString& /*path*/) const {
  QString xml;
  if (!m_target) return xml;
  for (const QObject* child : m_target->children()) {
    if (!qobject_cast<const QDBusAbstractAdaptor*>(child)) continue;
    xml += QStringLiteral("  <interface name=\"%1\">\n").arg(InterfaceOf(child));
    for (const QMetaMethod& m : SlotsOf(child)) {
      xml += QStringLiteral("    <method name=\"%1\">\n").arg(QString::fromLatin1(m.name()));
      for (int i = 0; i < WireArgCount(m); ++i) {
        xml += QStringLiteral("      <arg name=\"%1\" type=\"%2\" direction=\"in\"/>\n")
                   .arg(QString::fromLatin1(m.parameterNames().at(i)),
                        SignatureOf(m.parameterMetaType(i)));
      }
      const QString out = SignatureOf(m.returnMetaType());
      if (!out.isEmpty())
        xml += QStringLiteral("      <arg type=\"%1\" direction=\"out\"/>\n").arg(out);
      xml += QStringLiteral("    </method>\n");
    }
    xml += QStringLiteral("  </interface>\n");
  }
  return xml;
}

bool COwnerGate::handleMessage(const QDBusMessage& message, const QDBusConnection& /*connection*/) {
  if (message.type() != QDBusMessage::MethodCallMessage) return false;
  const QString iface = message.interface();
  // Introspection and Peer are answered by Qt and carry nothing of ours.
  if (iface == QLatin1String("org.freedesktop.DBus.Introspectable") ||
      iface == QLatin1String("org.freedesktop.DBus.Peer") ||
      (iface.isEmpty() && (message.member() == QLatin1String("Introspect") ||
                           message.member() == QLatin1String("Ping")))) {
    return false;
  }
  if (message.service() != m_owner) {
    m_bus.send(message.createErrorReply(
        QDBusError::AccessDenied,
        QStringLiteral("only the client that started this component may call it")));
    return true;
  }
  message.setDelayedReply(true);
  QMetaObject::invokeMethod(
      m_target, [this, message] { Deliver(message); }, Qt::QueuedConnection);
  return true;
}

void COwnerGate::Deliver(const QDBusMessage& message) {
  const QList<QVariant> args = message.arguments();
  for (QObject* child : m_target->children()) {
    if (!qobject_cast<QDBusAbstractAdaptor*>(child)) continue;
    if (!message.interface().isEmpty() && InterfaceOf(child) != message.interface()) continue;
    for (const QMetaMethod& m : SlotsOf(child)) {
      if (m.name() != message.member().toLatin1() || WireArgCount(m) != args.size()) continue;
      QVariantList values;
      for (int i = 0; i < args.size(); ++i) {
        QVariant v = args.at(i);
        if (!v.convert(m.parameterMetaType(i))) {
          m_bus.send(message.createErrorReply(QDBusError::InvalidArgs, message.member()));
          return;
        }
        values.append(v);
      }
      const bool answersItself = m.parameterCount() > args.size();
      if (answersItself) values.append(QVariant::fromValue(message));
      QGenericArgument a[3];
      for (int i = 0; i < values.size() && i < 3; ++i) {
        a[i] = QGenericArgument(values.at(i).metaType().name(), values.at(i).constData());
      }
      QVariant result(m.returnMetaType());
      const bool hasResult = m.returnMetaType().id() != QMetaType::Void;
      const bool ok =
          values.size() <= 3 &&
          m.invoke(child, Qt::DirectConnection,
                   QGenericReturnArgument(hasResult ? m.returnMetaType().name() : nullptr,
                                          hasResult ? result.data() : nullptr),
                   a[0], a[1], a[2]);
      if (!ok) {
        m_bus.send(message.createErrorReply(QDBusError::Failed, message.member()));
      } else if (!answersItself) {
        m_bus.send(hasResult ? message.createReply(result) : message.createReply());
      }
      return;
    }
  }
  m_bus.send(message.createErrorReply(QDBusError::UnknownMethod, message.member()));
}
