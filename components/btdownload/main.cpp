// zenu-btdownload: owns "zenu.BTDownload" on the session bus and runs one
// BitTorrent download at a time for the client that started it. Started with
// --share it owns "zenu.BTShare" instead and seeds the movies the client
// finished: a process of its own, so that a download's start, stop and
// failure never touch what is shared, and the other way round.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

#include "BTDownloadAdaptor.h"
#include "BTEngine.h"
#include "BTShare.h"
#include "BTShareAdaptor.h"
#include "ComponentBus.h"

namespace {
int g_signalPipe[2] = {-1, -1};

void OnEndSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  const bool sharing = app.arguments().contains(QStringLiteral("--share"));
  std::unique_ptr<CBTEngine> engine;
  std::unique_ptr<CBTShare> share;
  QObject object;
  if (sharing) {
    share = std::make_unique<CBTShare>();
    new CBTShareAdaptor(&object, *share);  // owned by object
  } else {
    engine = std::make_unique<CBTEngine>();
    new CBTDownloadAdaptor(&object, *engine);  // owned by object
  }

  // Ended by the session or by hand, the download still closes its files on
  // the way out: the signal only asks the event loop to finish.
  std::unique_ptr<QSocketNotifier> ending;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) == 0) {
    ending = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(ending.get(), &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
  }

  // Errors arrive as alerts; an unread queue would only grow.
  QTimer ticks;
  QObject::connect(&ticks, &QTimer::timeout, &object, [&engine, &share] {
    if (engine) engine->Tick();
    if (share) share->Tick();
  });
  ticks.start(1000);

  QDBusServiceWatcher watcher;
  const int exitCode = PublishComponent(
      bus, &object, sharing ? QStringLiteral("zenu.BTShare") : QStringLiteral("zenu.BTDownload"),
      OwnerArgument(), watcher, [] { QCoreApplication::quit(); });
  return exitCode >= 0 ? exitCode : app.exec();
}
