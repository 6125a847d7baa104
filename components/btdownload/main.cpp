// zenu-btdownload: owns "zenu.BTDownload" on the session bus and runs one
// BitTorrent download at a time for the client that started it.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QTimer>

#include "BTDownloadAdaptor.h"
#include "BTEngine.h"
#include "ComponentBus.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  CBTEngine engine;
  QObject object;
  new CBTDownloadAdaptor(&object, engine);  // owned by object

  // Errors arrive as alerts; an unread queue would only grow.
  QTimer alerts;
  QObject::connect(&alerts, &QTimer::timeout, &object, [&engine] { engine.PollAlerts(); });
  alerts.start(1000);

  QDBusServiceWatcher watcher;
  const int exitCode = PublishComponent(bus, &object, QStringLiteral("zenu.BTDownload"),
                                        OwnerArgument(), watcher,
                                        [] { QCoreApplication::quit(); });
  return exitCode >= 0 ? exitCode : app.exec();
}
