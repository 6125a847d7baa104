#include "DBusAutomation.h"

#include <signal.h>

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include "DBusComponentObject.h"
#include "DBusPublishedObject.h"
#include "QtText.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/PathHelpers.h"

namespace {
// A started process that has already ended (or is a zombie nobody reaps yet).
bool ProcessGone(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return true;
  const QByteArray line = stat.readAll();
  const int close = line.lastIndexOf(')');
  return close < 0 || line.mid(close + 2, 1) == "Z";
}

// Identifiers served by a mode of another component's executable.
struct SComponentMode {
  const char* identifier;
  const char* executable;
  const char* argument;
};
const SComponentMode kModes[] = {{"zenu.BTShare", "zenu-btdownload", "--share"}};

const SComponentMode* ModeOf(const QString& identifier) {
  for (const SComponentMode& mode : kModes)
    if (identifier == QLatin1String(mode.identifier)) return &mode;
  return nullptr;
}
}  // namespace

CDBusAutomation::CDBusAutomation(const QDBusConnection& connection) : m_connection(connection) {}

CDBusAutomation::~CDBusAutomation() = default;

QString CDBusAutomation::ExecutableName(const QString& identifier) {
  if (const SComponentMode* mode = ModeOf(identifier)) return QLatin1String(mode->executable);
  QString name = identifier.toLower();
  name.replace(QLatin1Char('.'), QLatin1Char('-'));
  return name;
}

QString CDBusAutomation::FindExecutable(const QString& identifier) {
  const QString name = ExecutableName(identifier);
  const QString programFolder = QStringFromGBK(GetExePath(0));
  const QString exeFolder = QFileInfo(QStringFromGBK(GetExePath(1))).absolutePath();
  // An installed program keeps its components in <prefix>/lib/vadeko/.
  const QString installed =
      GetInstalledShareFolder().empty() ? QString() : exeFolder + QStringLiteral("/../lib/vadeko/");
  for (const QString& folder : {installed, programFolder, exeFolder + QLatin1Char('/')}) {
    if (folder.isEmpty()) continue;
    const QFileInfo candidate(folder + name);
    if (candidate.isFile() && candidate.isExecutable()) return candidate.absoluteFilePath();
  }
  return QString();
}

int32_t CDBusAutomation::StartComponent(const QString& identifier, qint64& pid) {
  const QString exe = FindExecutable(identifier);
  if (exe.isEmpty()) {
    WriteErrorLog(GBKFromQString(
        QStringLiteral("\n%1 not found next to the program").arg(ExecutableName(identifier))));
    return AUTO_E_CLASSNOTREG;
  }
  // The component watches our unique name and ends when we leave the bus.
  QStringList args = {QStringLiteral("--owner"), m_connection.baseService()};
  if (const SComponentMode* mode = ModeOf(identifier)) args << QLatin1String(mode->argument);
  if (!QProcess::startDetached(exe, args, QFileInfo(exe).absolutePath(), &pid))
    return AUTO_E_SERVER_EXEC;

  QDBusConnectionInterface* bus = m_connection.interface();
  QElapsedTimer clock;
  clock.start();
  // Polling without an event loop: nothing else of ours runs during a create.
  while (clock.elapsed() < kStartWaitMs) {
    if (bus->isServiceRegistered(identifier).value()) return AUTO_S_OK;
    if (ProcessGone(pid)) break;
    QThread::msleep(20);
  }
  if (bus->isServiceRegistered(identifier).value()) return AUTO_S_OK;
  // Ours, and not what was asked for: left running it could take another
  // component's name later.
  if (!ProcessGone(pid)) ::kill(static_cast<pid_t>(pid), SIGTERM);
  return AUTO_E_SERVER_EXEC;
}

int32_t CDBusAutomation::CreateInstance(const CString& progId,
                                        std::unique_ptr<IAutomationObject>& object) {
  if (!m_connection.isConnected()) return AUTO_E_DISCONNECTED;
  const QString identifier = QStringFromGBK(progId);
  QDBusConnectionInterface* bus = m_connection.interface();
  const QDBusReply<bool> running = bus->isServiceRegistered(identifier);
  if (!running.isValid()) return AUTO_E_DISCONNECTED;
  if (!running.value()) {
    qint64 pid = 0;
    const int32_t hr = StartComponent(identifier, pid);
    if (hr < 0) return hr;
    m_started.insert(pid);
  }
  // Only a process this program started may stand behind the name: whoever
  // else holds it would get the user's commands and could call back into us.
  const QDBusReply<QString> owner = bus->serviceOwner(identifier);
  const QDBusReply<uint> ownerPid = bus->servicePid(identifier);
  if (!owner.isValid() || !ownerPid.isValid()) return AUTO_E_DISCONNECTED;
  if (!m_started.contains(ownerPid.value())) {
    // Callers try again while it lasts: one line for each holder.
    if (m_heldBy.value(identifier) == ownerPid.value()) return AUTO_E_NOT_OURS;
    m_heldBy.insert(identifier, ownerPid.value());
    WriteErrorLog(GBKFromQString(
        QStringLiteral("\n%1 is held by process %2, which this program did not start")
            .arg(identifier)
            .arg(ownerPid.value())));
    return AUTO_E_NOT_OURS;
  }
  object = std::make_unique<CDBusComponentObject>(m_connection, identifier, owner.value());
  return AUTO_S_OK;
}

int32_t CDBusAutomation::Publish(const SAutomationClass& cls,
                                 std::unique_ptr<IAutomationPublication>& publication) {
  auto published = std::make_unique<CDBusPublishedObject>(m_connection, cls);
  const int32_t hr = published->Start();
  if (hr < 0) return hr;
  publication = std::move(published);
  return AUTO_S_OK;
}

int32_t CDBusAutomation::ActivateOwner(const CString& identifier) {
  if (!m_connection.isConnected()) return AUTO_E_DISCONNECTED;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringFromGBK(identifier), QStringLiteral("/"),
      QStringLiteral("org.freedesktop.Application"), QStringLiteral("Activate"));
  call << QVariant::fromValue(QVariantMap());
  // Not waiting for the owner: it answers from its UI thread, which may be ours.
  call.setAutoStartService(false);
  if (!m_connection.send(call)) return AUTO_E_DISCONNECTED;
  // A round trip to the bus: once it answers, our call has been routed.
  const QDBusMessage flushed = m_connection.call(QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
  return flushed.type() == QDBusMessage::ReplyMessage ? AUTO_S_OK : AUTO_E_DISCONNECTED;
}

bool CDBusAutomation::GetHolder(const CString& identifier, uint32_t& pid, CString& program) {
  if (!m_connection.isConnected()) return false;
  // The bus daemon's word (GetConnectionUnixProcessID), not the holder's.
  const QDBusReply<uint> holder = m_connection.interface()->servicePid(QStringFromGBK(identifier));
  if (!holder.isValid() || holder.value() == 0) return false;
  pid = holder.value();
  // The executable when it may be read, else the name the process gave itself.
  QString name = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
  if (name.isEmpty()) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (comm.open(QIODevice::ReadOnly)) name = QString::fromUtf8(comm.read(64)).trimmed();
  }
  program = GBKFromQString(name);
  return true;
}
