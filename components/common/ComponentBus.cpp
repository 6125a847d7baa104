#include "ComponentBus.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <cstdio>

QString OwnerArgument() {
  const QStringList args = QCoreApplication::arguments();
  const int at = args.indexOf(QStringLiteral("--owner"));
  return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : QString();
}

int PublishComponent(QDBusConnection& bus, QObject* object, const QString& name,
                     const QString& owner, QDBusServiceWatcher& watcher,
                     const std::function<void()>& onOwnerGone) {
  const QByteArray exe = QCoreApplication::applicationName().toLocal8Bit();
  if (!bus.isConnected()) {
    std::fprintf(stderr, "%s: no session bus\n", exe.constData());
    return 1;
  }
  if (!bus.registerObject(QStringLiteral("/"), object)) {
    std::fprintf(stderr, "%s: cannot register its object\n", exe.constData());
    return 1;
  }
  if (!owner.isEmpty()) {
    watcher.setConnection(bus);
    watcher.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    watcher.addWatchedService(owner);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, object,
                     [onOwnerGone] { onOwnerGone(); });
    if (!bus.interface()->isServiceRegistered(owner).value()) return 0;
  }
  if (!bus.registerService(name)) {
    std::fprintf(stderr, "%s: %s is already running\n", exe.constData(),
                 name.toLocal8Bit().constData());
    return 1;
  }
  return -1;
}
