// zenu-localserver: owns "zenu.LocalServer" on the session bus and serves
// 127.0.0.1 once the client's start command names the port.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <cstdio>

#include "LocalSrvAdaptor.h"
#include "LocalSrvCommands.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QString owner;
  const QStringList args = QCoreApplication::arguments();
  const int at = args.indexOf(QStringLiteral("--owner"));
  if (at >= 0 && at + 1 < args.size()) owner = args.at(at + 1);

  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    std::fprintf(stderr, "zenu-localserver: no session bus\n");
    return 1;
  }
  CLocalSrvCommands commands(bus);
  new CLocalSrvAdaptor(&commands);  // owned by commands
  // The object first: a client seeing the name may introspect at once.
  if (!bus.registerObject(QStringLiteral("/"), &commands)) {
    std::fprintf(stderr, "zenu-localserver: cannot register its object\n");
    return 1;
  }

  // No component may outlive the client that started it.
  QDBusServiceWatcher watcher;
  if (!owner.isEmpty()) {
    watcher.setConnection(bus);
    watcher.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    watcher.addWatchedService(owner);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, &commands,
                     [&commands] { commands.Shutdown(); });
    if (!bus.interface()->isServiceRegistered(owner).value()) return 0;
  }
  if (!bus.registerService(QStringLiteral("zenu.LocalServer"))) {
    std::fprintf(stderr, "zenu-localserver: zenu.LocalServer is already running\n");
    return 1;
  }
  return app.exec();
}
