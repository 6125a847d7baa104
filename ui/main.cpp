#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

#include "app/MainDoc.h"
#include "app/UApp.h"
#include "platform/qt/DBusAutomation.h"
#include "platform/qt/QtMessageLoop.h"
#include "platform/qt/QtTranslations.h"
#include "ui/dialogs/InstallDialogs.h"
#include "ui/frame/MainFrame.h"
#include "ui/frame/QtAppFramework.h"
#include "ui/web/WebViews.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/ProgramFolder.h"
#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/desktop/NetworkSense.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
int g_signalPipe[2] = {-1, -1};

void OnTerminate(int) {
  const char byte = 1;
  // Only the write is safe here; the loop does the rest.
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}
const char kHelp[] =
    "用法: vadeko [选项]\n"
    "电影推送服务的桌面客户端。\n"
    "\n"
    "选项:\n"
    "  -AUTO               开机启动：登录后不显示主窗口\n"
    "  -server_port 端口   服务器端口，优先于设置中的端口\n"
    "  --help              显示本帮助并退出\n"
    "  --version           显示版本并退出\n"
    "\n"
    "服务器地址在登录对话框和程序设置的\"服务器\"中填写（主机或主机:端口，\n"
    "端口默认 88；https://主机[:端口] 为加密连接，端口默认 443），\n"
    "保存在程序文件夹 config.ini 的 [sys] ServiceHost；\n"
    "/etc/vadeko/vadeko.conf 中的 ServiceHost= 是它的默认值。\n";

// Answers --help and --version before any window or bus work; true when the
// process is to end.
bool AnsweredInfoOption(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (::strcmp(argv[i], "--help") == 0 || ::strcmp(argv[i], "-h") == 0) {
      std::fputs(kHelp, stdout);
      return true;
    }
    if (::strcmp(argv[i], "--version") == 0) {
      std::printf("%s %d.%02d\n", GBKToUtf8(kDisplayName).c_str(), kProgramVersion / 100,
                  kProgramVersion % 100);
      return true;
    }
  }
  return false;
}

// The web engine's sandbox refuses to run as root; without it the panes would
// stay blank with one line on standard error.
void AllowWebEngineAsRoot() {
  if (::geteuid() != 0) return;
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (flags.contains("--no-sandbox")) return;
  flags += QByteArray(flags.isEmpty() ? "" : " ") + "--no-sandbox";
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
  std::fputs("vadeko: running as root, the web pages run without their sandbox\n", stderr);
}
}  // namespace

int main(int argc, char** argv) {
  if (AnsweredInfoOption(argc, argv)) return 0;
  AllowWebEngineAsRoot();
  // The web panes share their GL contexts with the window.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  PrepareWebEngine();
  QApplication app(argc, argv);
  InstallQtTranslations();
  // Hidden to the tray is still running: only the quit sequence ends the program.
  QApplication::setQuitOnLastWindowClosed(false);

  CQtMessageLoop loop;
  CPlatform::SetLoop(&loop);
  // Singletons that end after main (timers still registered) must not reach
  // the loop once it is gone.
  struct SLoopGuard {
    ~SLoopGuard() { CPlatform::SetLoop(nullptr); }
  } loopGuard;
  CDBusAutomation automation;
  SetAutomation(&automation);
  SetNetworkSense(&SystemNetworkSense());
  // The dialogs are widgets: they must go before the application object does.
  InstallQtDialogs();
  struct SDialogsGuard {
    ~SDialogsGuard() { UninstallQtDialogs(); }
  } dialogsGuard;

  PrepareProgramFolder();
  CQtAppFramework framework;
  CUApp uapp(framework);
  if (!uapp.InitInstance(argc, const_cast<const char* const*>(argv))) {
    // Ending in favour of the running instance is a normal end.
    const bool bOtherInstance =
        QDBusConnection::sessionBus().isConnected() && !uapp.GetCOMB().IsPublished() &&
        QDBusConnection::sessionBus().interface()->isServiceRegistered(CCOMB::kProgID).value();
    return bOtherInstance ? 0 : 1;
  }
  CMainFrame* frame = framework.MainFrame();
  QObject::connect(frame, &CMainFrame::closedForReal, &app, [] { QCoreApplication::exit(0); });
  QObject::connect(&app, &QGuiApplication::commitDataRequest, frame,
                   [frame](QSessionManager&) { frame->OnEndSession(true); });

  // The session bus gone means the user's session is ending: end like it.
  QTimer busCheck;
  QObject::connect(&busCheck, &QTimer::timeout, frame, [frame, &busCheck] {
    if (QDBusConnection::sessionBus().isConnected()) return;
    busCheck.stop();
    frame->OnEndSession(true);
  });
  busCheck.start(2000);

  // SIGTERM runs the tray's quit sequence; a second one ends at once.
  std::unique_ptr<QSocketNotifier> terminate;
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
    terminate = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    int iSignals = 0;
    QObject::connect(terminate.get(), &QSocketNotifier::activated, frame, [frame, &iSignals] {
      char byte = 0;
      [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
      if (++iSignals > 1) QCoreApplication::exit(1);
      frame->OnPopupExit();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
  }

  const int exitCode = QApplication::exec();
  // After an error's end the component may still be held; release it while
  // the bus connection lives.
  CMainDoc::GetInstance()->GetLocalSrvDriver().DestroyInstance();
  SetAutomation(nullptr);
  return exitCode;
}
