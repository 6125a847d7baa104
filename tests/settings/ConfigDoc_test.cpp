#include "settings/ConfigDoc.h"

#include <deque>
#include <functional>

#include "push/OtherDownload.h"
#include "settings/PushMethodSink.h"
#include "tests/settings/SettingsFixture.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/desktop/Autostart.h"
#include "zenuModule/src/desktop/ConfigDialog.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/IniFile.h"

namespace {
// A scripted settings dialog: records what it was shown and applies an edit.
class CFakeConfigDialog final : public IConfigDialog {
 public:
  CFakeConfigDialog() { SetConfigDialog(this); }
  ~CFakeConfigDialog() override { SetConfigDialog(nullptr); }
  CFakeConfigDialog(const CFakeConfigDialog&) = delete;
  CFakeConfigDialog& operator=(const CFakeConfigDialog&) = delete;

  SConfigDlgOutcome Run(SConfigDlgValues& values) override {
    shown.push_back(values);
    if (edit) edit(values);
    return outcome;
  }

  std::vector<SConfigDlgValues> shown;
  std::function<void(SConfigDlgValues&)> edit;
  SConfigDlgOutcome outcome{IDOK, false};
};

class CFakePushSink final : public IPushMethodSink {
 public:
  void OnConfigDlgEvent(int iEvent) override { events.push_back(iEvent); }
  bool FindDownloadManager(CString* strName, CString* strId) override {
    return COtherDownload::FindThunder(strName, strId);
  }
  std::vector<int> events;
};
}  // namespace

using ConfigDocTest = SettingsTest;

TEST_F(ConfigDocTest, FreshInstallationDefaultsAndFirstLoginFiles) {
  auto* doc = CConfigDoc::GetInstance();
  EXPECT_EQ(doc->IsFirstRun(), 1);
  EXPECT_EQ(doc->GetAutoLogin(), 1);
  EXPECT_EQ(doc->GetAutoStart(), 0);
  EXPECT_EQ(doc->GetAutoDownload(), 1);
  EXPECT_EQ(doc->GetRateLimit(), 5120);
  EXPECT_EQ(doc->GetEvalDays(), 60);
  EXPECT_EQ(doc->GetPort(), 0);
  EXPECT_EQ(doc->GetSaveas(), Home() + "电影");
  EXPECT_FALSE(PathExists(Home() + "config.ini"));

  // First login: the user is saved, then the first start is set up.
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("u1", "0123456789abcdef0123456789abcdef");
  doc->InitFirstStart();
  const CString global = Home() + "config.ini";
  EXPECT_EQ(IniGetString(global, "sys", "AutoLogin", ""), "1");
  EXPECT_EQ(IniGetString(global, "sys", "First", ""), "0");
  EXPECT_EQ(IniGetString(global, "sys", "Port", ""), "0");
  EXPECT_EQ(home.ReadFile("users/u1/config.ini"),
            "[User]\nAutoDownload=1\nEvalDays=60\nSaveas=" + Home() + "电影" +
                "\nRateLimit=5120\n" + "ShareAfterDownload=1\nUploadLimit=1024\nMaxShared=20\n");
  EXPECT_NE(Entry().find("Exec=" + GBKToUtf8(CWinReg::AutoStartCommand())), CString::npos);
  EXPECT_NE(home.TraceLog().find("得取的用户目录:" + Home() + "users/u1/config.ini"),
            CString::npos);

  // The next start is no first run and sees the entry.
  CConfigDoc::ResetInstance();
  doc = CConfigDoc::GetInstance();
  EXPECT_EQ(doc->IsFirstRun(), 0);
  EXPECT_EQ(doc->GetAutoStart(), 1);
  const CString before = home.ReadFile("config.ini");
  RemoveFile(AutostartEntryPath("zenu"));
  doc->InitFirstStart();  // no first run: nothing happens
  EXPECT_EQ(home.ReadFile("config.ini"), before);
  EXPECT_FALSE(PathExists(AutostartEntryPath("zenu")));
}

TEST_F(ConfigDocTest, ItemsAndLastEvaluation) {
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("u2", "d");
  auto* doc = CConfigDoc::GetInstance();
  EXPECT_EQ(doc->LoadUserConfigItem("Prompt", "FirstRun"), "-1000");
  doc->SaveUserConfigItem("Prompt", "FirstRun", "1");
  EXPECT_EQ(doc->LoadUserConfigItem("prompt", "firstrun"), "1");
  EXPECT_EQ(IniGetString(Home() + "users/u2/config.ini", "Prompt", "FirstRun", ""), "1");

  EXPECT_EQ(doc->LoadGlobalConfigItem("Frame", "Width"), "-1000");
  ASSERT_TRUE(WriteWholeFile(Home() + "UI.ini", "[Frame]\nWidth=800\n"));
  EXPECT_EQ(doc->LoadGlobalConfigItem("frame", "WIDTH"), "800");

  RecordGID gid = kReservedGID;
  int eval = -1;
  doc->LoadLastEvalRecord(&gid, &eval);
  EXPECT_EQ(gid, 0u);
  EXPECT_EQ(eval, 0);
  doc->SaveLastEvalRecord(77, 0);
  doc->SaveLastEvalRecord(0, 3);
  EXPECT_EQ(IniGetString(Home() + "users/u2/config.ini", "Eval", "GID", "none"), "none");
  doc->SaveLastEvalRecord(77, 4);
  doc->LoadLastEvalRecord(&gid, &eval);
  EXPECT_EQ(gid, 77u);
  EXPECT_EQ(eval, 4);
  // Past 2^31 the id is kept as the int the file always held, and reads back whole.
  doc->SaveLastEvalRecord(4000000000u, 5);
  EXPECT_EQ(IniGetString(Home() + "users/u2/config.ini", "Eval", "GID", "none"), "-294967296");
  doc->LoadLastEvalRecord(&gid, &eval);
  EXPECT_EQ(gid, 4000000000u);

  doc->SetPort(6881);
  doc->SaveConfig();
  CConfigDoc::ResetInstance();
  EXPECT_EQ(CConfigDoc::GetInstance()->GetPort(), 6881);
}

TEST_F(ConfigDocTest, SettingsDialogAppliesValuesAndForwardsThePushMethodButton) {
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("u3", "d");
  auto* doc = CConfigDoc::GetInstance();
  CFakeConfigDialog dialog;
  CFakePushSink sink;
  doc->SetPushMethodSink(&sink);

  // OK with edits: every value is applied and saved; the entry is written.
  dialog.edit = [](SConfigDlgValues& v) {
    v.strSaveas = "/data/影片";
    v.iAutoLogin = 0;
    v.bAutoStart = 1;
    v.bAutoDownload = 0;
    v.iEvalDays = 30;
  };
  doc->OpenConfigDlg();
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown[0].strSaveas, Home() + "电影");
  EXPECT_EQ(dialog.shown[0].iAutoLogin, 1);
  EXPECT_EQ(dialog.shown[0].bAutoStart, 0);
  EXPECT_EQ(dialog.shown[0].iRateLimit, 5120);
  EXPECT_TRUE(sink.events.empty());
  EXPECT_EQ(doc->GetSaveas(), "/data/影片");
  EXPECT_EQ(doc->GetAutoStart(), 1);
  EXPECT_TRUE(PathExists(AutostartEntryPath("zenu")));
  const CString user = Home() + "users/u3/config.ini";
  EXPECT_EQ(IniGetString(user, "User", "Saveas", ""), "/data/影片");
  EXPECT_EQ(IniGetString(user, "User", "EvalDays", ""), "30");
  EXPECT_EQ(IniGetString(user, "User", "AutoDownload", ""), "0");
  EXPECT_EQ(IniGetString(Home() + "config.ini", "sys", "AutoLogin", ""), "0");

  // The entry removed by hand: the box opens unchecked; the push-method button
  // reaches the push engine and the held values still apply.
  RemoveFile(AutostartEntryPath("zenu"));
  dialog.edit = [](SConfigDlgValues& v) { v.iEvalDays = 90; };
  dialog.outcome = {1, true};
  doc->OpenConfigDlg();
  ASSERT_EQ(dialog.shown.size(), 2u);
  EXPECT_EQ(dialog.shown[1].bAutoStart, 0);
  EXPECT_EQ(dialog.shown[1].strSaveas, "/data/影片");
  EXPECT_EQ(sink.events, std::vector<int>{0});
  EXPECT_EQ(doc->GetEvalDays(), 90);
  EXPECT_TRUE(box.texts.empty());

  // A start-at-login change that cannot be written keeps the old value and says so.
  ASSERT_TRUE(WriteWholeFile(Home() + "blocker", "x"));
  setenv("XDG_CONFIG_HOME", (home.Path() + "blocker").c_str(), 1);
  dialog.edit = [](SConfigDlgValues& v) { v.bAutoStart = 1; };
  dialog.outcome = {IDCANCEL, false};
  doc->OpenConfigDlg();
  ASSERT_EQ(box.texts.size(), 1u);
  EXPECT_EQ(box.texts[0], "设置开机自动启动失败,可能被你的防火墙阻止了");
  EXPECT_EQ(doc->GetAutoStart(), 0);
  doc->SetPushMethodSink(nullptr);
}

TEST_F(ConfigDocTest, TheDefaultSaveFolderIsInTheUsersVideosAndStoredFoldersStay) {
  // The user's folders as xdg-user-dir reads them from the test's config folder.
  CheckFolder(Home() + "xdg/", 1);
  ASSERT_TRUE(WriteWholeFile(Home() + "xdg/user-dirs.dirs", u8"XDG_VIDEOS_DIR=\"$HOME/视频\"\n"));
  CConfigDoc::ResetInstance();
  EXPECT_EQ(CConfigDoc::GetInstance()->GetSaveas(), Home() + "视频/电影");
  // A user who chose a folder before keeps it.
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("u4", "d");
  IniWriteString(Home() + "users/u4/config.ini", "User", "Saveas", "/data/影片");
  CConfigDoc::ResetInstance();
  EXPECT_EQ(CConfigDoc::GetInstance()->GetSaveas(), "/data/影片");
}

TEST_F(ConfigDocTest, SettingsDialogShowsAndChangesTheServiceAndNamesTheDownloadManager) {
  // No desktop entries but the test's.
  CheckFolder(Home() + "apps/applications/", 1);
  setenv("XDG_DATA_HOME", (home.Path() + "apps").c_str(), 1);
  setenv("XDG_DATA_DIRS", (home.Path() + "none").c_str(), 1);
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("u5", "d");
  CProcessValues::Reset();
  auto* doc = CConfigDoc::GetInstance();
  // The push engine names the manager; without it the page says none was found.
  CFakePushSink sink;
  doc->SetPushMethodSink(&sink);
  CFakeConfigDialog dialog;
  dialog.edit = [](SConfigDlgValues& v) {
    v.strServiceHost = "movies.lan:8088";
    v.iEvalDays = 7;
  };
  doc->OpenConfigDlg();
  EXPECT_EQ(dialog.shown[0].strServiceHost, kDefaultRemoteHost);
  EXPECT_EQ(dialog.shown[0].strDownloadManager, "未找到");
  EXPECT_EQ(IniGetString(Home() + "config.ini", "sys", "ServiceHost", ""), "movies.lan:8088");
  EXPECT_EQ(CProcessValues::GetRemoteSrvHost(), "movies.lan");
  EXPECT_EQ(CProcessValues::GetRemoteSrvPort(), 8088);

  // A refused address is explained; the other values are kept all the same.
  ASSERT_TRUE(WriteWholeFile(Home() + "apps/applications/com.xunlei.download.desktop",
                             u8"[Desktop Entry]\nType=Application\nName=迅雷\n"));
  dialog.edit = [](SConfigDlgValues& v) {
    v.strServiceHost = "movies.lan/8088";
    v.iEvalDays = 8;
  };
  doc->OpenConfigDlg();
  EXPECT_EQ(dialog.shown[1].strServiceHost, "movies.lan:8088");
  EXPECT_EQ(dialog.shown[1].strDownloadManager, "迅雷（com.xunlei.download.desktop）");
  EXPECT_EQ(box.texts,
            std::vector<CString>{"服务器地址应是主机名或IP地址，可带端口，例如 192.168.1.5:8088"});
  EXPECT_EQ(doc->GetEvalDays(), 8);
  EXPECT_EQ(IniGetString(Home() + "config.ini", "sys", "ServiceHost", ""), "movies.lan:8088");
  doc->SetPushMethodSink(nullptr);
  doc->OpenConfigDlg();
  EXPECT_EQ(dialog.shown[2].strDownloadManager, "未找到");
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_DATA_DIRS");
  CProcessValues::Reset();
}

TEST_F(ConfigDocTest, SharingSettingsRoundTripAndTellTheirListenerOnlyWhenChanged) {
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("u5", "d");
  auto* doc = CConfigDoc::GetInstance();
  CFakeConfigDialog dialog;
  int told = 0;
  doc->SetShareSettingsListener([&] { ++told; });

  // Defaults: on, 1024 KB/s, 20 movies; a dialog that changes nothing of them.
  dialog.edit = [](SConfigDlgValues& v) { v.iEvalDays = 7; };
  doc->OpenConfigDlg();
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown[0].bShareAfterDownload, 1);
  EXPECT_EQ(dialog.shown[0].iUploadLimit, 1024);
  EXPECT_EQ(dialog.shown[0].iMaxShared, 20);
  EXPECT_EQ(told, 0);
  const CString user = Home() + "users/u5/config.ini";
  EXPECT_EQ(IniGetString(user, "User", "ShareAfterDownload", ""), "1");
  EXPECT_EQ(IniGetString(user, "User", "UploadLimit", ""), "1024");
  EXPECT_EQ(IniGetString(user, "User", "MaxShared", ""), "20");

  // Edited: applied at once, stored, and out-of-range values held to their limits.
  dialog.edit = [](SConfigDlgValues& v) {
    v.bShareAfterDownload = 0;
    v.iUploadLimit = -5;
    v.iMaxShared = 100000;
  };
  doc->OpenConfigDlg();
  EXPECT_EQ(told, 1);
  EXPECT_EQ(doc->GetShareAfterDownload(), 0);
  EXPECT_EQ(doc->GetUploadLimit(), 0);
  EXPECT_EQ(doc->GetMaxShared(), CConfigDoc::kMaxMaxShared);

  // Read back from the file as the next start reads it; hand-edited nonsense too.
  ASSERT_TRUE(IniWriteString(user, "User", "UploadLimit", "512"));
  doc->LoadConfig();
  EXPECT_EQ(doc->GetShareAfterDownload(), 0);
  EXPECT_EQ(doc->GetUploadLimit(), 512);
  ASSERT_TRUE(IniWriteString(user, "User", "MaxShared", "-3"));
  doc->LoadConfig();
  EXPECT_EQ(doc->GetMaxShared(), 0);
  doc->SetShareSettingsListener(nullptr);
}
