#pragma once
#include <fstream>
#include <map>
#include <memory>

#include "app/MainDoc.h"
#include "eval/EvalDoc.h"
#include "prompt/PromptMgrDoc.h"
#include "tests/push/PushFixture.h"
#include "tests/support/FakeAutomation.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/RecordingMainFrame.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/CmdParams.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/InstalledApps.h"
#include "zenuModule/src/desktop/Platform.h"
#include "zenuModule/src/desktop/Shell.h"

// The BitTorrent component as a script: what it reports, and every start and exit.
struct SScriptedBT {
  double percent = 0;
  CString lastError;
  bool bGone = false;       // every call fails, as with a vanished process
  bool bInfoFails = false;  // only GetOtherRunInfo fails
  CString streamUrl;        // GetOtherRunInfo of kind 3
  // The component of this creation has vanished; a new one answers again.
  const int* pCreates = nullptr;
  int iGoneAt = -1;
  std::vector<CString> starts;
  int iExits = 0;

  int32_t Answer(const CString& method, const CString* arg, CString& result) {
    if (bGone || (pCreates && *pCreates == iGoneAt)) return AUTO_E_DISCONNECTED;
    if (method == "StartBT") {
      starts.push_back(arg ? *arg : CString());
    } else if (method == "Exit") {
      ++iExits;
    } else if (method == "GetDownloadedPercent") {
      result = StringFormat("%.10f", percent);
    } else if (method == "GetLeftTime") {
      result = "30";
    } else if (method == "GetPeerConnNum") {
      result = "2";
    } else if (method == "GetDownloadRate") {
      result = "512.5";
    } else if (method == "GetLastError") {
      result = lastError;
    } else if (method == "GetOtherRunInfo") {
      if (bInfoFails) return AUTO_E_FAIL;
      result = arg && *arg == "3" ? streamUrl : CString("downloading");
    }
    return AUTO_S_OK;
  }
};

class CRecordingShell final : public IShell {
 public:
  CRecordingShell() { SetShell(this); }
  ~CRecordingShell() override { SetShell(nullptr); }
  bool Open(const CString& target) override {
    opened.push_back(target);
    return true;
  }
  bool OpenWithDefaultFor(const CString& target, const CString& mimeType) override {
    streamed.push_back(target + " " + mimeType);
    return true;
  }
  std::vector<CString> opened;
  std::vector<CString> streamed;  // "URL MIME-TYPE"
};

// Installed programs and the torrent default as a test wants them.
class CScriptedApps final : public IInstalledApps {
 public:
  CScriptedApps() { SetInstalledApps(this); }
  ~CScriptedApps() override { SetInstalledApps(nullptr); }
  bool List(std::vector<SInstalledApp>& out) override {
    out = apps;
    return true;
  }
  bool DefaultFor(const CString&, CString& id) override {
    id = strDefault;
    return true;
  }
  void InstallThunder() {
    apps = {{"Thunder_7.desktop", {{"DisplayName", "迅雷7"}, {"DisplayIcon", "thunder"}}}};
    strDefault = "xunlei.bittorrent.desktop";
  }
  std::vector<SInstalledApp> apps;
  CString strDefault;
};

// A logged-in user's engine on the virtual clock with a scripted component;
// every record's torrent is already in its data folder.
class DownloadTest : public PushTest {
 protected:
  DownloadTest() {
    CPlatform::SetLoop(&loop);
    CPlatform::SetMainWindowCreated(true);
    CTimerControl::ResetInstance();
    CPromptMgrDoc::ResetInstance();
    CEvalDoc::ResetInstance();
    CCmdParams::ResetInstance();
    CMainDoc::GetInstance()->SetMainFrame(&main);
    CPushDoc::GetInstance()->SetSession(CMainDoc::GetInstance());
    CEvalDoc::GetInstance()->SetSession(CMainDoc::GetInstance());
    CPromptMgrDoc::GetInstance()->SetSession(CMainDoc::GetInstance());
    component = std::make_shared<SFakeComponent>();
    const char* names[] = {"IsRunning",   "StartBT",        "GetDownloadedPercent",
                           "GetLeftTime", "GetPeerConnNum", "GetDownloadRate",
                           "Exit",        "GetLastError",   "GetOtherRunInfo"};
    for (int i = 0; i < 9; ++i) component->methods[names[i]] = 10 + i;
    component->onInvoke = [this](const CString& m, const CString* a, CString& r) {
      return bt.Answer(m, a, r);
    };
    automation.components["zenu.BTDownload"] = component;
  }
  ~DownloadTest() override {
    CPushDoc::ResetInstance();
    CMainDoc::GetInstance()->SetMainFrame(nullptr);
    CTimerControl::ResetInstance();
    CPromptMgrDoc::ResetInstance();
    CEvalDoc::ResetInstance();
    CCmdParams::ResetInstance();
    CPlatform::SetMainWindowCreated(false);
    CPlatform::SetLoop(nullptr);
  }
  // A record with its torrent in place; rated, so deleting asks nothing.
  void Add(uint32_t gid, int status, int fetch = 1) {
    SRow r;
    r.gid = gid;
    r.status = status;
    r.eval = 3;
    r.fetch = fetch;
    r.name = StringFormat("电影%u", gid);
    r.path = Save() + r.name;
    Insert(r);
    const CString folder = StringFormat("%sdata/%u", GetExePath(0).c_str(), gid);
    CheckFolder(folder, 1);
    std::ofstream(ToSysPath(StringFormat("%s/%u.torrent", folder.c_str(), gid))) << "d4:infod";
    if (status == RS_DOWNLOADED) {
      CheckFolder(r.path, 1);
      std::ofstream(ToSysPath(r.path + "/movie.mkv")) << "frames";
    }
  }
  CString Save() const { return CString(home.Path()) + "电影/"; }
  int Status(uint32_t gid) { return Get(gid).GetStatus(); }
  void Event(uint32_t gid, int event) { doc->TaskStatusMachine(gid, event, nullptr); }
  void Tick() { loop.AdvanceBy(1000); }
  std::vector<CString> Balloons() const {
    std::vector<CString> out;
    for (const auto& e : main.OfType(0)) out.push_back(e.strInfo2);
    return out;
  }

  CVirtualLoop loop;
  CFakeMessageBox boxes;
  CFakeAutomation automation;
  CRecordingMainFrame main;
  std::shared_ptr<SFakeComponent> component;
  SScriptedBT bt;
};
