#include "ComponentBus.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QTimer>
#include <cstdio>

#include "OwnerGate.h"

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
  // Started for a client: that client alone may call in.
  const bool registered =
      owner.isEmpty()
          ? bus.registerObject(QStringLiteral("/"), object)
          : bus.registerVirtualObject(QStringLiteral("/"), new COwnerGate(object, owner, bus));
  if (!registered) {
    std::fprintf(stderr, "%s: cannot register its object\n", exe.constData());
    return 1;
  }
  if (!owner.isEmpty()) {
    watcher.setConnection(bus);
    watcher.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    watcher.addWatchedService(owner);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, object,
                     [onOwnerGone] { onOwnerGone(); });
    // Without the bus the owner is gone as well (the end of the user's session).
    auto* busCheck = new QTimer(object);
    QObject::connect(busCheck, &QTimer::timeout, object, [bus, onOwnerGone] {
      if (!bus.isConnected()) onOwnerGone();
    });
    busCheck->start(2000);
    if (!bus.interface()->isServiceRegistered(owner).value()) return 0;
  }
  if (!bus.registerService(name)) {
    std::fprintf(stderr, "%s: %s is already running\n", exe.constData(),
                 name.toLocal8Bit().constData());
    return 1;
  }
  return -1;
}
