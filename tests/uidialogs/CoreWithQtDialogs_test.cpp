// The core's documents running the Qt dialogs, against loopback services.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <mutex>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "account/Cmd5Capi.h"
#include "account/RegLoginDoc.h"
#include "platform/qt/QtMessageLoop.h"
#include "platform/qt/QtText.h"
#include "tests/settings/SettingsFixture.h"
#include "tests/support/HttpWait.h"
#include "tests/support/LoopbackHttpServer.h"
#include "ui/dialogs/ConfigDialog.h"
#include "ui/dialogs/DownloadProgressDialog.h"
#include "ui/dialogs/InstallDialogs.h"
#include "ui/dialogs/LoginDialog.h"
#include "ui/dialogs/RegLoginWaitDialog.h"
#include "ui/dialogs/RegisterDialog.h"
#include "ui/dialogs/UpdateVersionDialog.h"
#include "zenuModule/src/HTTPDownLoadDoc.h"
#include "zenuModule/src/IntfUpdateControl.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/IniFile.h"
#include "zenuModule/src/desktop/Platform.h"
#include "zenuModule/src/desktop/Shell.h"

namespace {

const char kMarker[] = "5B1E09C4-73AF-4d2e-9C81-E2F04A6B1D37 OK";

QString Q(const char* gbk) { return QStringFromGBK(gbk); }

// The remote service: one account ("alice", "pw"), registration of any new name,
// and the update description.
class CService {
 public:
  CService() {
    server.Server().Get(
        "/urls/UserLogin", [this](const httplib::Request& req, httplib::Response& res) {
          Record(req.target);
          const bool ok = req.get_param_value("username") == "alice" &&
                          req.get_param_value("md5_passwd") == Cmd5Capi().Digest("pw");
          res.set_content(ok ? kMarker : "Username Error", "text/plain");
        });
    server.Server().Get("/urls/UserRegister",
                        [this](const httplib::Request& req, httplib::Response& res) {
                          Record(req.target);
                          res.set_content(kMarker, "text/plain");
                        });
    server.Server().Get("/data/7.torrent", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(300000, 't'), "application/x-bittorrent");
    });
    server.Server().Get("/update_info/zenu/update.ini",
                        [this](const httplib::Request&, httplib::Response& res) {
                          std::lock_guard<std::mutex> lock(m_mutex);
                          res.set_content(description, "text/plain");
                        });
  }
  std::vector<std::string> Targets() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_targets;
  }
  void SetDescription(int newVersion, int abandonVersion) {
    std::lock_guard<std::mutex> lock(m_mutex);
    description = "NewVersionInternal=" + std::to_string(newVersion) +
                  "\nNewVersionDisplay=Vadeko2013春季版\nNewVersionFunction=更快的下载\\n新的界面"
                  "\nAbandonVersionInternal=" +
                  std::to_string(abandonVersion) +
                  "\nAbandonVersionDisplay=Vadeko2011版\nUpdateUrl=http://example.test/get\n";
  }

  CLoopbackHttpServer server;
  std::string description;

 private:
  void Record(const std::string& target) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_targets.push_back(target);
  }
  std::mutex m_mutex;
  std::vector<std::string> m_targets;
};

class CFakeShell final : public IShell {
 public:
  CFakeShell() { SetShell(this); }
  ~CFakeShell() override { SetShell(nullptr); }
  bool Open(const CString& target) override {
    opened.push_back(target);
    return true;
  }
  std::vector<CString> opened;
};

class CUpdateEvents final : public CTemplIntfUpdateControlCaller {
 public:
  void OnIntfUpdateControlEvent(int iEvent) override { events.push_back(iEvent); }
  std::vector<int> events;
};

class CoreWithQtDialogsTest : public SettingsTest {
 protected:
  void SetUp() override {
    CPlatform::SetMainWindowCreated(true);
    CPlatform::SetLoop(&loop);
    CTimerControl::ResetInstance();
    CRegLoginDoc::ResetInstance();
    ASSERT_TRUE(service.server.Start());
    CProcessValues::SetRemoteSrvHost("127.0.0.1");
    CProcessValues::SetRemoteSrvPort(service.server.Port());
    InstallQtDialogs();
  }
  void TearDown() override {
    StopDrivers();
    UninstallQtDialogs();
    CRegLoginDoc::ResetInstance();
    CIntfUpdateControl::ResetInstance();
    CHTTPDownLoadDoc::ResetInstance();
    EXPECT_TRUE(WaitForWorkers());
    CTimerControl::ResetInstance();
    CPlatform::SetLoop(nullptr);
    CPlatform::SetMainWindowCreated(false);
    CProcessValues::Reset();
  }
  void NoAutoLogin() { IniWriteString(Home() + "config.ini", "sys", "AutoLogin", "0"); }
  int CountTargets(const std::string& path) {
    int count = 0;
    for (const auto& target : service.Targets()) count += target.rfind(path, 0) == 0;
    return count;
  }
  // Clicks the only button of the message box on top, after checking its text.
  static void AnswerBox(const char* text, std::function<void()> then = nullptr) {
    WhenShown<QMessageBox>([text, then](QMessageBox* box) {
      EXPECT_EQ(box->text(), Q(text));
      box->buttons().front()->click();
      if (then) QTimer::singleShot(0, then);
    });
  }

  CQtMessageLoop loop;
  CService service;
};

}  // namespace

TEST_F(CoreWithQtDialogsTest, LoginStaysOpenAfterAWrongPasswordAndClosesOnSuccess) {
  NoAutoLogin();
  QString waitTitle;
  WhenShown<CQtRegLoginWaitDialog>([&](CQtRegLoginWaitDialog* wait) {
    waitTitle = wait->windowTitle();
    Shot(wait, "login_wait");
  });
  WhenShown<CQtLoginDialog>([&](CQtLoginDialog* login) {
    EXPECT_FALSE(login->Banner()->pixmap().isNull());
    EXPECT_EQ(login->PasswordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(login->UserEdit()->text().isEmpty());
    EXPECT_TRUE(login->LoginButton()->isDefault());
    Shot(login, "login");
    login->UserEdit()->setText(QStringLiteral("alice"));
    login->PasswordEdit()->setText(QStringLiteral("bad"));
    AnswerBox("用户名或密码错误，请重试", [login] {
      EXPECT_TRUE(login->isVisible());
      login->PasswordEdit()->setText(QStringLiteral("pw"));
      login->LoginButton()->click();
    });
    login->LoginButton()->click();
  });
  EXPECT_EQ(CRegLoginDoc::GetInstance()->ShowLoginDlg(), TRUE);
  EXPECT_EQ(CountTargets("/urls/UserLogin?username=alice&md5_passwd="), 2);
  EXPECT_EQ(waitTitle, Q("登录进度"));
  EXPECT_EQ(IniGetString(Home() + "config.ini", "DefaultUser", "user", ""), "alice");

  // The next start offers the remembered name and waits for the password.
  WhenShown<CQtLoginDialog>([](CQtLoginDialog* login) {
    EXPECT_EQ(login->UserEdit()->text(), QStringLiteral("alice"));
    EXPECT_TRUE(login->PasswordEdit()->text().isEmpty());
    // The dialog's own focus child: the window itself may not be active yet on a busy machine.
    EXPECT_EQ(login->focusWidget(), login->PasswordEdit());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(login, &escape);
  });
  EXPECT_EQ(CRegLoginDoc::GetInstance()->ShowLoginDlg(), FALSE);
  EXPECT_EQ(CountTargets("/urls/UserLogin"), 2);
}

TEST_F(CoreWithQtDialogsTest, TheServerFieldShowsTheServiceAndTakesAnother) {
  NoAutoLogin();
  const int closed = CLoopbackHttpServer::UnusedPort();
  CProcessValues::SetRemoteSrvPort(closed);
  const QString reachable = QStringLiteral("127.0.0.1:%1").arg(service.server.Port());
  WhenShown<CQtLoginDialog>([&](CQtLoginDialog* login) {
    EXPECT_EQ(login->ServerEdit()->text(), QStringLiteral("127.0.0.1:%1").arg(closed));
    login->UserEdit()->setText(QStringLiteral("alice"));
    login->PasswordEdit()->setText(QStringLiteral("pw"));
    login->ServerEdit()->setText(QStringLiteral("127.0.0.1/%1").arg(service.server.Port()));
    AnswerBox("服务器地址应是主机名或IP地址，可带端口，例如 192.168.1.5:8088", [&, login] {
      EXPECT_TRUE(login->isVisible());
      EXPECT_TRUE(service.Targets().empty());
      login->ServerEdit()->setText(QStringLiteral("192.168.1.5:8088"));
      Shot(login, "login_server");
      login->ServerEdit()->setText(reachable);
      login->LoginButton()->click();
    });
    login->LoginButton()->click();
  });
  EXPECT_EQ(CRegLoginDoc::GetInstance()->ShowLoginDlg(), TRUE);
  EXPECT_EQ(CountTargets("/urls/UserLogin?username=alice&md5_passwd="), 1);
  EXPECT_EQ(CProcessValues::GetRemoteSrvPort(), service.server.Port());
  EXPECT_EQ(QString::fromStdString(IniGetString(Home() + "config.ini", "sys", "ServiceHost", "")),
            reachable);
}

TEST_F(CoreWithQtDialogsTest, RegistrationRefusesBadNamesAndPrefillsTheLogin) {
  NoAutoLogin();
  // The program folder's own banner picture wins over the drawn one.
  QDir().mkpath(QString::fromUtf8((home.Path() + "skin").c_str()));
  QImage picture(400, 60, QImage::Format_RGB32);
  picture.fill(Qt::darkRed);
  ASSERT_TRUE(picture.save(QString::fromUtf8((home.Path() + "skin/reglog.bmp").c_str())));
  QString prefilledUser;
  QString prefilledPassword;
  WhenShown<CQtLoginDialog>([&](CQtLoginDialog* login) {
    EXPECT_EQ(login->Banner()->pixmap().height(), 60);
    WhenShown<CQtRegisterDialog>([&](CQtRegisterDialog* reg) {
      EXPECT_EQ(reg->Password2Edit()->echoMode(), QLineEdit::Password);
      Shot(reg, "register");
      reg->UserEdit()->setText(QStringLiteral("bad-name"));
      reg->PasswordEdit()->setText(QStringLiteral("pw"));
      reg->Password2Edit()->setText(QStringLiteral("pw"));
      AnswerBox("用户名只能是字母，数字和下划线_的组合", [&, reg] {
        reg->UserEdit()->setText(QStringLiteral("new_user"));
        AnswerBox("注册新用户名成功!", [&] {
          WhenShown<CQtLoginDialog>([&](CQtLoginDialog* again) {
            prefilledUser = again->UserEdit()->text();
            prefilledPassword = again->PasswordEdit()->text();
            again->CancelButton()->click();
          });
        });
        reg->RegisterButton()->click();
      });
      reg->RegisterButton()->click();
    });
    login->RegisterButton()->click();
  });
  EXPECT_EQ(CRegLoginDoc::GetInstance()->ShowLoginDlg(), FALSE);
  EXPECT_EQ(
      CountTargets("/urls/UserRegister?username=new_user&md5_passwd=" + Cmd5Capi().Digest("pw")),
      1);
  EXPECT_EQ(CountTargets("/urls/UserRegister?username=bad-name"), 0);
  EXPECT_EQ(prefilledUser, QStringLiteral("new_user"));
  EXPECT_EQ(prefilledPassword, QStringLiteral("pw"));
}

TEST_F(CoreWithQtDialogsTest, UpdateDialogsOpenTheAddressAndStayOpenUntilOk) {
  CFakeShell shell;
  CUpdateEvents requester;
  service.SetDescription(180, 100);
  const CString url =
      "http://127.0.0.1:" + std::to_string(service.server.Port()) + "/update_info/zenu/update.ini";
  WhenShown<CQtUpdateVersionDialog>([&](CQtUpdateVersionDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), Q("软件升级提示"));
    EXPECT_EQ(dialog->CurrentLabel()->text(), Q(kDisplayName));
    EXPECT_EQ(dialog->NewLabel()->text(), Q("Vadeko2013春季版"));
    EXPECT_EQ(dialog->FunctionEdit()->toPlainText(), Q("更快的下载\n新的界面"));
    EXPECT_EQ(dialog->UrlLabel()->text(), QStringLiteral("http://example.test/get"));
    Shot(dialog, "update");
    dialog->DownloadButton()->click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(requester.events.empty());
    dialog->OkButton()->click();
  });
  CIntfUpdateControl::GetInstance()->Register(&requester, kProgramVersion, kDisplayName, url);
  loop.RunModal([&] { return !requester.events.empty(); });
  EXPECT_EQ(requester.events, std::vector<int>{1});
  EXPECT_EQ(shell.opened, std::vector<CString>{"http://example.test/get"});

  service.SetDescription(180, kProgramVersion);
  WhenShown<CQtVersionStopDialog>([&](CQtVersionStopDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), Q("软件升级提示"));
    EXPECT_EQ(dialog->CurrentLabel()->text(), Q(kDisplayName));
    EXPECT_EQ(dialog->UrlLabel()->text(), QStringLiteral("http://example.test/get"));
    Shot(dialog, "version_stop");
    dialog->DownloadButton()->click();
    EXPECT_TRUE(dialog->isVisible());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dialog, &enter);
  });
  CIntfUpdateControl::GetInstance()->Register2(&requester, kProgramVersion, kDisplayName, url);
  loop.RunModal([&] { return requester.events.size() == 2; });
  EXPECT_EQ(requester.events, (std::vector<int>{1, 0}));
  EXPECT_EQ(shell.opened.size(), 2u);
}

TEST_F(CoreWithQtDialogsTest, SettingsDialogKeepsTheFolderChoiceEvenOnCancel) {
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("u3", "d");
  const CString user = Home() + "users/u3/config.ini";
  const QString chosen = QStringLiteral("/tmp/电影库");
  WhenShown<CQtConfigDialog>([&](CQtConfigDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), Q("程序设置"));
    EXPECT_TRUE(dialog->AutoLoginBox()->isChecked());
    EXPECT_TRUE(dialog->AutoDownloadBox()->isChecked());
    EXPECT_EQ(dialog->EvalDaysEdit()->text(), QStringLiteral("60"));
    EXPECT_EQ(dialog->SaveasEdit()->text(), Q((Home() + "电影").c_str()));
    Shot(dialog, "config");
    QString askedTitle;
    dialog->SetFolderChooser([&](QWidget*, const QString& title, const QString&) {
      askedTitle = title;
      return chosen;
    });
    dialog->AutoDownloadBox()->setChecked(false);
    dialog->EvalDaysEdit()->setText(QStringLiteral("30"));
    dialog->ChooseFolderButton()->click();
    EXPECT_EQ(askedTitle, QStringLiteral("请选择需要打包的目录："));
    EXPECT_EQ(dialog->SaveasEdit()->text(), chosen);
    dialog->AutoLoginBox()->setChecked(false);  // after the choice: dropped by cancel
    dialog->CancelButton()->click();
  });
  CConfigDoc::GetInstance()->OpenConfigDlg();
  EXPECT_EQ(IniGetString(user, "User", "Saveas", ""), GBKFromQString(chosen));
  EXPECT_EQ(IniGetString(user, "User", "EvalDays", ""), "30");
  EXPECT_EQ(IniGetString(user, "User", "AutoDownload", ""), "0");
  EXPECT_EQ(IniGetString(Home() + "config.ini", "sys", "AutoLogin", ""), "1");

  // A day count that is not a number is refused; the dialog stays open.
  WhenShown<CQtConfigDialog>([&](CQtConfigDialog* dialog) {
    EXPECT_EQ(dialog->SaveasEdit()->text(), chosen);
    EXPECT_EQ(dialog->ShareBox()->text(), QStringLiteral("下载完成后继续分享"));
    EXPECT_TRUE(dialog->ShareBox()->isChecked());
    EXPECT_EQ(dialog->UploadLimitBox()->value(), 1024);
    EXPECT_EQ(dialog->MaxSharedBox()->value(), 20);
    dialog->UploadLimitBox()->setValue(256);
    dialog->ShareBox()->setChecked(false);
    EXPECT_FALSE(dialog->UploadLimitBox()->isEnabled());
    dialog->EvalDaysEdit()->setText(QStringLiteral("abc"));
    AnswerBox("请输入一个整数。", [dialog] {
      EXPECT_TRUE(dialog->isVisible());
      dialog->EvalDaysEdit()->setText(QStringLiteral("15"));
      dialog->AutoLoginBox()->setChecked(false);
      dialog->OkButton()->click();
    });
    dialog->OkButton()->click();
  });
  CConfigDoc::GetInstance()->OpenConfigDlg();
  EXPECT_EQ(IniGetString(user, "User", "EvalDays", ""), "15");
  EXPECT_EQ(IniGetString(user, "User", "ShareAfterDownload", ""), "0");
  EXPECT_EQ(IniGetString(user, "User", "UploadLimit", ""), "256");
  EXPECT_EQ(IniGetString(Home() + "config.ini", "sys", "AutoLogin", ""), "0");
}

TEST_F(CoreWithQtDialogsTest, DownloadShowsItsProgressUntilTheFileIsWritten) {
  bool bStayed = false;
  WhenShown<CQtDownloadProgressDialog>([&](CQtDownloadProgressDialog* dialog) {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dialog, &escape);
    bStayed = dialog->isVisible();
  });
  const CString target = Home() + "电影/data/7/7.torrent";
  EXPECT_EQ(CHTTPDownLoadDoc::GetInstance()->DownFile("http://127.0.0.1/data/7.torrent", target),
            1);
  EXPECT_TRUE(bStayed);
  CString written;
  ASSERT_TRUE(ReadWholeFile(target, written));
  EXPECT_EQ(written.size(), 300000u);
  EXPECT_FALSE(QApplication::activeModalWidget());
}
