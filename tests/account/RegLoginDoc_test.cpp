#include "account/RegLoginDoc.h"

#include <gtest/gtest.h>
#include <openssl/crypto.h>
#include <openssl/provider.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "settings/ServiceHostSetting.h"
#include "tests/settings/SettingsFixture.h"
#include "tests/support/HttpWait.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScriptedLoginDialogs.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/IniFile.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {

const char kMarker[] = "5B1E09C4-73AF-4d2e-9C81-E2F04A6B1D37 OK";

CString Md5(const CString& text) { return Cmd5Capi().Digest(text); }

// Answers login and registration as the remote service does; it can also answer
// with a fixed body, or hold every request until released.
class CFakeService {
 public:
  CFakeService() {
    server.Server().Get(
        "/urls/UserLogin", [this](const httplib::Request& req, httplib::Response& res) {
          res.set_content(Answer(req,
                                 [this, &req] {
                                   const auto it = m_accounts.find(req.get_param_value("username"));
                                   return it != m_accounts.end() &&
                                                  Lower(it->second) ==
                                                      Lower(req.get_param_value("md5_passwd"))
                                              ? std::string(kMarker)
                                              : std::string("Username Error");
                                 }),
                          "text/plain");
        });
    server.Server().Get(
        "/urls/UserRegister", [this](const httplib::Request& req, httplib::Response& res) {
          res.set_content(Answer(req,
                                 [this, &req] {
                                   const std::string name = req.get_param_value("username");
                                   if (m_accounts.count(name)) return std::string("User Exist");
                                   m_accounts[name] = req.get_param_value("md5_passwd");
                                   return std::string(kMarker);
                                 }),
                          "text/plain");
        });
  }
  ~CFakeService() { Release(); }

  void AddAccount(const std::string& name, const std::string& digest) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_accounts[name] = digest;
  }
  bool HasAccount(const std::string& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_accounts.count(name) > 0;
  }
  void AnswerWith(const std::string& body) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fixed = body;
    m_bFixed = true;
  }
  void Hang() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bHang = true;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_bReleased = true;
    }
    m_cv.notify_all();
  }
  std::vector<std::string> Targets() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_targets;
  }

  CLoopbackHttpServer server;

 private:
  static std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), ::tolower);
    return text;
  }
  template <class F>
  std::string Answer(const httplib::Request& req, F&& normal) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_targets.push_back(req.target);
    if (m_bHang) {
      m_cv.wait_for(lock, std::chrono::seconds(20), [this] { return m_bReleased; });
      return "late";
    }
    if (m_bFixed) return m_fixed;
    return normal();
  }

  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::map<std::string, std::string> m_accounts;
  std::vector<std::string> m_targets;
  std::string m_fixed;
  bool m_bFixed = false;
  bool m_bHang = false;
  bool m_bReleased = false;
};

class RegLoginDocTest : public SettingsTest {
 protected:
  void SetUp() override {
    CPlatform::SetMainWindowCreated(true);
    CTimerControl::ResetInstance();
    CRegLoginDoc::ResetInstance();
    ASSERT_TRUE(service.server.Start());
    CProcessValues::SetRemoteSrvHost("127.0.0.1");
    CProcessValues::SetRemoteSrvPort(service.server.Port());
  }
  void TearDown() override {
    service.Release();
    CRegLoginDoc::ResetInstance();
    EXPECT_TRUE(WaitForWorkers());
    CTimerControl::ResetInstance();
    CPlatform::SetMainWindowCreated(false);
    CProcessValues::Reset();
  }
  // Asks for the dialog on every start.
  void NoAutoLogin() { IniWriteString(Home() + "config.ini", "sys", "AutoLogin", "0"); }
  CString UserFile(const CString& user, const CString& file) {
    return Home() + "users/" + user + "/" + file;
  }
  CString DefaultUser() { return IniGetString(Home() + "config.ini", "DefaultUser", "user", ""); }
  BOOL Run() { return CRegLoginDoc::GetInstance()->ShowLoginDlg(); }

  CVirtualLoop loop;
  CScriptedLoginDialog login{loop};
  CScriptedRegisterDialog reg{loop};
  CScriptedWaitDialog wait{loop};
  CFakeService service;
};

}  // namespace

TEST_F(RegLoginDocTest, AutomaticLoginSkipsTheDialog) {
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("alice", Md5("pw"));
  EXPECT_EQ(Run(), TRUE);
  EXPECT_EQ(login.opened, 0);
  EXPECT_TRUE(service.Targets().empty());
  EXPECT_NE(home.TraceLog().find("自动登录,跳过登录验证"), CString::npos);

  // Without automatic login the remembered name is offered with an empty password.
  CConfigDoc::ResetInstance();
  NoAutoLogin();
  login.Cancel();
  EXPECT_EQ(Run(), FALSE);
  EXPECT_EQ(login.opened, 1);
  ASSERT_FALSE(login.updates.empty());
  EXPECT_EQ(login.updates.front().iType, 1);
  EXPECT_EQ(login.updates.front().strText1, "alice");
  EXPECT_EQ(login.updates.front().strText2, "");
  EXPECT_EQ(login.results, std::vector<int>{IDCANCEL});
  EXPECT_TRUE(CRegLoginDoc::GetInstance()->IsAllModalDlgClosed());
}

TEST_F(RegLoginDocTest, LocalDigestMatchLogsInWithoutRequest) {
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("alice", Md5("right"));
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("bob", Md5("bobpw"));
  NoAutoLogin();
  // A second start of the login while its dialog is open only raises that dialog.
  login.Call([this] { EXPECT_EQ(Run(), FALSE); });
  login.Login("alice", "right");
  EXPECT_EQ(Run(), TRUE);
  EXPECT_EQ(login.opened, 1);
  EXPECT_EQ(login.raised, 1);
  EXPECT_EQ(login.results, std::vector<int>{IDOK});
  EXPECT_TRUE(service.Targets().empty());
  EXPECT_EQ(wait.opened, 0);
  EXPECT_TRUE(box.texts.empty());
  EXPECT_EQ(DefaultUser(), "alice");
  CString stored;
  ASSERT_TRUE(ReadWholeFile(UserFile("alice", "passwd.txt"), stored));
  EXPECT_EQ(stored, Md5("right"));
  EXPECT_NE(home.TraceLog().find("本地验证成功"), CString::npos);
  EXPECT_EQ(home.TraceLog().find("准备远程验证登录"), CString::npos);
}

TEST_F(RegLoginDocTest, RemoteLoginStoresTheDigestAndWrongPasswordsKeepTheDialog) {
  const CString user = "张三";  // GBK bytes D5 C5 C8 FD
  service.AddAccount(user, Md5("right"));
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("alice", Md5("x"));
  NoAutoLogin();
  login.Login(user, "wrong");
  login.Login(user, "right");
  EXPECT_EQ(Run(), TRUE);

  ASSERT_EQ(box.texts.size(), 1u);
  EXPECT_EQ(box.texts[0], "用户名或密码错误，请重试");
  const auto targets = service.Targets();
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[1],
            "/urls/UserLogin?username=%D5%C5%C8%FD&md5_passwd=" + Md5("right") + "&version=172");
  EXPECT_EQ(wait.opened, 2);
  EXPECT_EQ(wait.titles, (std::vector<CString>{"登录进度", "登录进度"}));
  EXPECT_EQ(wait.range, 60);
  EXPECT_EQ(wait.maxWaitText, "最大等待时间:60秒");
  EXPECT_EQ(login.results, std::vector<int>{IDOK});
  EXPECT_EQ(DefaultUser(), user);
  CString stored;
  ASSERT_TRUE(ReadWholeFile(UserFile(user, "passwd.txt"), stored));
  EXPECT_EQ(stored, Md5("right"));
  const CString trace = home.TraceLog();
  EXPECT_NE(trace.find("本地验证失败"), CString::npos);
  EXPECT_NE(trace.find("准备远程验证登录"), CString::npos);
  // The whole URL, with the digest hidden.
  EXPECT_NE(
      trace.find("/urls/UserLogin?username=" + URLEncode(user) + "&md5_passwd=*&version=172\n"),
      CString::npos)
      << trace;
  EXPECT_NE(trace.find("远程验证成功"), CString::npos);
  // Neither the digest nor the password reaches the trace.
  EXPECT_EQ(trace.find(Md5("right")), CString::npos);

  // The next login of this user is checked here, without the service.
  CRegLoginDoc::ResetInstance();
  CConfigDoc::ResetInstance();
  login.Login(user, "right");
  EXPECT_EQ(Run(), TRUE);
  EXPECT_EQ(service.Targets().size(), 2u);
}

TEST_F(RegLoginDocTest, WrongPasswordThenCancelStoresNothing) {
  service.AddAccount("bob", Md5("right"));
  NoAutoLogin();
  login.Login("bob", "wrong");
  login.Cancel();
  EXPECT_EQ(Run(), FALSE);
  EXPECT_EQ(box.texts, std::vector<CString>{"用户名或密码错误，请重试"});
  EXPECT_FALSE(PathExists(UserFile("bob", "passwd.txt")));
  EXPECT_EQ(DefaultUser(), "");
}

TEST_F(RegLoginDocTest, OtherAnswersAreShownUnchangedAndEmptyNamesRefused) {
  service.AnswerWith("服务维护中");
  NoAutoLogin();
  login.Login("", "pw");
  login.Login("bob", "pw");
  login.Cancel();
  EXPECT_EQ(Run(), FALSE);
  EXPECT_EQ(box.texts, (std::vector<CString>{"用户名不得为空", "服务维护中"}));
  EXPECT_EQ(service.Targets().size(), 1u);
}

TEST_F(RegLoginDocTest, NamesThatLeaveTheUsersFolderAreRefusedAtLogin) {
  NoAutoLogin();
  // A digest stored outside users/ must not let anyone in.
  ASSERT_TRUE(WriteWholeFile(Home() + "passwd.txt", Md5("pw")));
  const CString refused =
      StringFormat("用户名不能包含以下的符号%s", CMultiUserMgr::ForbiddenChars());
  for (const CString name : {"..", ".", "../x", "a\\b", "a:b"}) login.Login(name, "pw");
  login.Cancel();
  EXPECT_EQ(Run(), FALSE);
  EXPECT_EQ(box.texts, std::vector<CString>(5, refused));
  EXPECT_TRUE(service.Targets().empty());
  EXPECT_FALSE(PathExists(Home() + "x"));
  EXPECT_EQ(DefaultUser(), "");
}

TEST_F(RegLoginDocTest, RegistrationThenLoginAsksTheServiceOnce) {
  NoAutoLogin();
  login.OpenRegistration();
  reg.Register("new_user1", "pw", "pw");
  login.PressLogin();  // the fields hold what the registration left there
  EXPECT_EQ(Run(), TRUE);

  EXPECT_EQ(box.texts, std::vector<CString>{"注册新用户名成功!"});
  EXPECT_EQ(reg.results, std::vector<int>{IDOK});
  EXPECT_TRUE(service.HasAccount("new_user1"));
  const auto targets = service.Targets();
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0], "/urls/UserRegister?username=new_user1&md5_passwd=" + Md5("pw") +
                            "&action=add&iVersion=172");
  EXPECT_EQ(targets[1].rfind("/urls/UserLogin?username=new_user1&", 0), 0u);
  EXPECT_EQ(wait.titles, (std::vector<CString>{"注册进度", "登录进度"}));
  ASSERT_GE(login.updates.size(), 2u);
  EXPECT_EQ(login.updates[1].iType, 1);
  EXPECT_EQ(login.updates[1].strText1, "new_user1");
  EXPECT_EQ(login.updates[1].strText2, "pw");
  CString stored;
  ASSERT_TRUE(ReadWholeFile(UserFile("new_user1", "passwd.txt"), stored));
  EXPECT_EQ(stored, Md5("pw"));
  EXPECT_EQ(DefaultUser(), "new_user1");
  EXPECT_NE(home.TraceLog().find("/urls/UserRegister?username=new_user1&md5_passwd=*&action=add"),
            CString::npos);
  EXPECT_EQ(home.TraceLog().find(Md5("pw")), CString::npos);
}

TEST_F(RegLoginDocTest, RegistrationRulesAreCheckedBeforeAnythingIsCreated) {
  NoAutoLogin();
  login.OpenRegistration();
  reg.Register("bad-name", "pw", "pw");
  reg.Register("", "pw", "pw");
  reg.Register("中文", "pw", "pw");
  reg.Register("ok_1", "", "");
  reg.Register("ok_1", "pw", "other");
  reg.Cancel();
  login.Cancel();
  EXPECT_EQ(Run(), FALSE);
  const CString rule = "用户名只能是字母，数字和下划线_的组合";
  EXPECT_EQ(box.texts,
            (std::vector<CString>{rule, rule, rule, "密码不能为空", "密码不一致,请重新输入确认"}));
  EXPECT_TRUE(service.Targets().empty());
  EXPECT_FALSE(PathExists(Home() + "users"));
  EXPECT_EQ(reg.results, std::vector<int>{IDCANCEL});
}

TEST_F(RegLoginDocTest, ExistingNameRemovesOnlyTheFolderThisRegistrationMade) {
  service.AddAccount("taken", Md5("a"));
  service.AddAccount("local", Md5("b"));
  // A user of this machine whose records must survive a failed registration.
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("local", Md5("b"));
  ASSERT_TRUE(WriteWholeFile(UserFile("local", "db.dat"), "records"));
  NoAutoLogin();
  login.OpenRegistration();
  reg.Register("taken", "pw", "pw");
  reg.Register("local", "pw", "pw");
  reg.Cancel();
  login.Cancel();
  EXPECT_EQ(Run(), FALSE);
  EXPECT_EQ(box.texts, std::vector<CString>(2, "用户名已存在，请重试"));
  EXPECT_FALSE(PathExists(Home() + "users/taken"));
  CString kept;
  EXPECT_TRUE(ReadWholeFile(UserFile("local", "db.dat"), kept));
  EXPECT_EQ(kept, "records");
  EXPECT_TRUE(PathExists(UserFile("local", "passwd.txt")));
}

TEST_F(RegLoginDocTest, ServiceThatNeverAnswersTimesOutAfterSixtySeconds) {
  service.Hang();
  wait.waitForWorkersMs = 0;
  NoAutoLogin();
  login.OpenRegistration();
  reg.Register("slow_user", "pw", "pw");
  reg.Cancel();
  login.Login("bob", "pw");
  login.Cancel();
  const int64_t start = loop.Now();
  EXPECT_EQ(Run(), FALSE);

  EXPECT_EQ(box.texts, std::vector<CString>(2, "服务器超时"));
  EXPECT_EQ(wait.opened, 2);
  // Every second up to the 59th shows; the 60th ends the wait.
  ASSERT_EQ(wait.waitedTexts.size(), 2u * 60u);
  EXPECT_EQ(wait.waitedTexts[0], "已等待的时间:0秒");
  EXPECT_EQ(wait.waitedTexts[59], "已等待的时间:59秒");
  EXPECT_EQ(wait.pos, 59);
  EXPECT_GE(loop.Now() - start, 2 * 60 * 1000);
  EXPECT_LT(loop.Now() - start, 2 * 62 * 1000);
  // The folder made for the abandoned registration is gone again.
  EXPECT_FALSE(PathExists(Home() + "users/slow_user"));
  EXPECT_FALSE(CRegLoginDoc::GetInstance()->IsRequestRunning());
}

TEST_F(RegLoginDocTest, AnUnreachableServiceIsNamedWithItsReason) {
  const int closed = CLoopbackHttpServer::UnusedPort();
  CProcessValues::SetRemoteSrvPort(closed);
  NoAutoLogin();
  login.OpenRegistration();
  reg.Register("net_user", "pw", "pw");
  reg.Cancel();
  login.Login("bob", "pw");
  // No timer service: the request cannot be polled, so it is not started.
  login.Call([] { CPlatform::SetMainWindowCreated(false); });
  login.Login("bob", "pw");
  login.Cancel();
  EXPECT_EQ(Run(), FALSE);
  const CString unreachable = StringFormat("无法连接服务器 127.0.0.1:%d：连接被拒绝", closed);
  EXPECT_EQ(box.texts, (std::vector<CString>{unreachable, unreachable, "网络错误"}));
  EXPECT_EQ(wait.opened, 2);
  EXPECT_FALSE(PathExists(Home() + "users/net_user"));
  EXPECT_NE(
      home.TraceLog().find(StringFormat("User Login: http://127.0.0.1:%d/urls/UserLogin?", closed)),
      CString::npos);
}

TEST_F(RegLoginDocTest, TheServerFieldChoosesTheServiceForRegistrationAndLogin) {
  int told = 0;
  CServiceHostSetting::SetChangeListener([&] { ++told; });
  const CString reachable = StringFormat("127.0.0.1:%d", service.server.Port());
  const int closed = CLoopbackHttpServer::UnusedPort();
  CProcessValues::SetRemoteSrvPort(closed);
  NoAutoLogin();
  // A refused entry starts nothing; the dialog stays for a correction.
  login.Login("carol", "pw", "http://127.0.0.1/x");
  login.Login("carol", "pw", reachable);
  login.OpenRegistration();
  reg.Register("carol", "pw", "pw");
  login.PressLogin();
  EXPECT_EQ(Run(), TRUE);
  CServiceHostSetting::SetChangeListener(nullptr);
  // The field showed the address in use.
  EXPECT_EQ(login.updates.front().strText3, StringFormat("127.0.0.1:%d", closed));
  EXPECT_EQ(box.texts,
            (std::vector<CString>{"服务器地址应是主机名或IP地址，可带端口，例如 192.168.1.5:8088",
                                  "用户名或密码错误，请重试", "注册新用户名成功!"}));
  EXPECT_EQ(told, 1);
  EXPECT_EQ(CProcessValues::GetRemoteSrvPort(), service.server.Port());
  EXPECT_EQ(IniGetString(Home() + "config.ini", "sys", "ServiceHost", ""), reachable);
  EXPECT_EQ(service.Targets().size(), 3u);
  EXPECT_EQ(DefaultUser(), "carol");
}

TEST_F(RegLoginDocTest, EmptyBodyAndDigestFailuresAreShown) {
  auto* doc = CRegLoginDoc::GetInstance();
  // An empty body cannot pass the engine; should one arrive, it is a network fault.
  CRegLoginRequester requester(*doc);
  CBuffer empty;
  requester.ProcessResult(empty);
  EXPECT_EQ(box.texts, std::vector<CString>{"网络错误"});

  // A library context whose only provider has no MD5.
  OSSL_LIB_CTX* bare = OSSL_LIB_CTX_new();
  OSSL_PROVIDER* nullProvider = OSSL_PROVIDER_load(bare, "null");
  ASSERT_NE(nullProvider, nullptr);
  doc->SetDigester(Cmd5Capi(bare));
  NoAutoLogin();
  login.Login("bob", "pw");
  login.OpenRegistration();
  reg.Register("md5_user", "pw", "pw");
  reg.Cancel();
  login.Cancel();
  EXPECT_EQ(Run(), FALSE);
  doc->SetDigester(Cmd5Capi());
  OSSL_PROVIDER_unload(nullProvider);
  OSSL_LIB_CTX_free(bare);
  EXPECT_EQ(box.texts,
            (std::vector<CString>{"网络错误", "Error creating hash", "Error creating hash"}));
  EXPECT_TRUE(service.Targets().empty());
  EXPECT_FALSE(PathExists(Home() + "users/md5_user"));
}

TEST_F(RegLoginDocTest, QuitDuringRequestAbandonsItQuietly) {
  service.Hang();
  wait.waitForWorkersMs = 0;
  auto* doc = CRegLoginDoc::GetInstance();
  int seconds = 0;
  wait.onPos = [&](int pos) {
    seconds = pos;
    if (pos == 3) {
      // A second press of "登录" while the request runs starts nothing.
      doc->Authentication("other", "pw");
      EXPECT_FALSE(doc->IsAllModalDlgClosed());
      doc->BringToFront();
      doc->CloseAllModalDlg();
    }
  };
  NoAutoLogin();
  login.OpenRegistration();
  reg.Register("quit_user", "pw", "pw");
  EXPECT_EQ(Run(), FALSE);
  EXPECT_EQ(seconds, 3);
  // A second request would have failed at once, aloud.
  EXPECT_TRUE(box.texts.empty());
  EXPECT_EQ(wait.results, std::vector<int>{IDCANCEL});
  EXPECT_EQ(reg.results, std::vector<int>{IDCANCEL});
  EXPECT_EQ(login.results, std::vector<int>{IDCANCEL});
  EXPECT_EQ(login.raised, 1);
  EXPECT_EQ(reg.raised, 1);
  EXPECT_TRUE(doc->IsAllModalDlgClosed());
  EXPECT_FALSE(doc->IsRequestRunning());
  EXPECT_FALSE(PathExists(Home() + "users/quit_user"));
  // Nothing keeps polling the abandoned request.
  EXPECT_EQ(loop.TimerCount(), 0u);
}
