// zenu-localserver: owns "zenu.LocalServer" on the session bus and serves
// 127.0.0.1 once the client's start command names the port.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>

#include "ComponentBus.h"
#include "LocalSrvAdaptor.h"
#include "LocalSrvCommands.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  CLocalSrvCommands commands(bus);
  new CLocalSrvAdaptor(&commands);  // owned by commands
  QDBusServiceWatcher watcher;
  const int exitCode = PublishComponent(bus, &commands, QStringLiteral("zenu.LocalServer"),
                                        OwnerArgument(), watcher,
                                        [&commands] { commands.Shutdown(); });
  return exitCode >= 0 ? exitCode : app.exec();
}
