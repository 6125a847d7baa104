// zenu-btdownload: owns "zenu.BTDownload" on the session bus and runs one
// BitTorrent download at a time for the client that started it.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QTimer>
#include <cstdio>

#include "BTDownloadAdaptor.h"
#include "BTEngine.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QString owner;
  const QStringList args = QCoreApplication::arguments();
  const int at = args.indexOf(QStringLiteral("--owner"));
  if (at >= 0 && at + 1 < args.size()) owner = args.at(at + 1);

  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    std::fprintf(stderr, "zenu-btdownload: no session bus\n");
    return 1;
  }
  CBTEngine engine;
  QObject object;
  new CBTDownloadAdaptor(&object, engine);  // owned by object
  // The object first: a client seeing the name may introspect at once.
  if (!bus.registerObject(QStringLiteral("/"), &object)) {
    std::fprintf(stderr, "zenu-btdownload: cannot register its object\n");
    return 1;
  }

  // Errors arrive as alerts; an unread queue would only grow.
  QTimer alerts;
  QObject::connect(&alerts, &QTimer::timeout, &object, [&engine] { engine.PollAlerts(); });
  alerts.start(1000);

  // No component may outlive the client that started it.
  QDBusServiceWatcher watcher;
  if (!owner.isEmpty()) {
    watcher.setConnection(bus);
    watcher.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    watcher.addWatchedService(owner);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, &app,
                     [] { QCoreApplication::quit(); });
    if (!bus.interface()->isServiceRegistered(owner).value()) return 0;
  }
  if (!bus.registerService(QStringLiteral("zenu.BTDownload"))) {
    std::fprintf(stderr, "zenu-btdownload: zenu.BTDownload is already running\n");
    return 1;
  }
  return app.exec();
}
