#include "MainDoc.h"

#include <cstdlib>

#include "eval/EvalDoc.h"
#include "prompt/PromptMgrDoc.h"
#include "push/PushDoc.h"
#include "settings/ServiceHostSetting.h"
#include "zenuModule/src/COMOBJDriver.h"
#include "zenuModule/src/IntfScheduleControl.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/ProgramException.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/Platform.h"

CMainDoc::CMainDoc()
    : m_drvLocalSrv("zenu.LocalServer"), m_localSrvWatch([this] { CheckLocalSrv(); }) {}

CMainDoc::~CMainDoc() {
  CServiceHostSetting::SetChangeListener(nullptr);
  // The documents may outlive the session; they must not call into it.
  if (CPushDoc::HasInstance()) CPushDoc::GetInstance()->SetSession(nullptr);
  if (CEvalDoc::HasInstance()) CEvalDoc::GetInstance()->SetSession(nullptr);
  if (CPromptMgrDoc::HasInstance()) CPromptMgrDoc::GetInstance()->SetSession(nullptr);
}

namespace {
// The component answers its start with the port it listens on: the chosen
// one may have been taken by another process in the meantime.
void AdoptLocalSrvPort(const CString& reply) {
  const int port = std::atoi(reply.c_str());
  if (port <= 0 || port > 65535 || port == CProcessValues::GetLocalSrvPort()) return;
  ZTRACE(1, "CMainDoc::SendToLocalSrv", "localsrv port %d was taken, it listens on %d",
         CProcessValues::GetLocalSrvPort(), port);
  CProcessValues::SetLocalSrvPort(port);
  CProcessValues::SetLocalSrvBaseUrl(StringFormat("http://127.0.0.1:%d", port));
}
// The holder of the local server's name last told to the user.
CString g_strLocalSrvHolder;

void TellLocalSrvNameHeld(CCOMOBJDriver& driver) {
  driver.DestroyInstance();
  const CString holder = DescribeHolder(driver.GetProgID());
  if (holder == g_strLocalSrvHolder) return;
  ZTRACE(1, "CMainDoc::StartLocalSrv", "%s is held by %s", driver.GetProgID().c_str(),
         holder.c_str());
  g_strLocalSrvHolder = holder;
  ShowMessageBox(
      StringFormat("Vadeko本地服务组件的名称“%s”正被另一个程序占用：%s。这个程序不是Vadeko启动的，"
                   "Vadeko不会与它通信。该程序退出后，Vadeko会自动启动本地服务",
                   driver.GetProgID().c_str(), holder.empty() ? "未知进程" : holder.c_str()));
}
}  // namespace

void CMainDoc::SendToLocalSrv(Json::Value& document) {
  OP_BEGIN("CMainDoc::SendToLocalSrv")
  const bool start = document.get("INT_CMD_IDX", 0).asInt() == 1;
  const CString reply = m_drvLocalSrv.CallMethod("OnOrvexCmd", start, &document);
  if (start) AdoptLocalSrvPort(reply);
  OP_END
}

bool CMainDoc::SendLocalSrvCommand(Json::Value& document) {
  if (!m_drvLocalSrv.HasInstance()) return false;
  try {
    SendToLocalSrv(document);
  } catch (CException* e) {
    LogAndDeleteException(e);
    return false;
  }
  return true;
}

void CMainDoc::StartLocalSrv() {
  OP_BEGIN("CMainDoc::StartLocalSrv")
  bool held = false;
  try {
    m_drvLocalSrv.CreateInstance();
    SendStartToLocalSrv();
  } catch (CException* e) {
    // Another process holds the name: the client waits for it to come free
    // (the watch below tries again) rather than ending.
    if (m_drvLocalSrv.GetLastCreateResult() != AUTO_E_NOT_OURS) throw;
    LogAndDeleteException(e);
    held = true;
  }
  CServiceHostSetting::SetChangeListener([this] { SendAddressToLocalSrv(); });
  // Registered after the call: the ready command is only delivered from the loop.
  CIntfScheduleControl::GetInstance()->Register(this, kLocalSrvReadyEvent);
  m_localSrvWatch.RegisterTimer(CLocalSrvWatch::kIntervalSeconds, 0);
  // Told once the watch runs: the message waits for the user.
  if (held) TellLocalSrvNameHeld(m_drvLocalSrv);
  OP_END
}

void CMainDoc::SendStartToLocalSrv() {
  OP_BEGIN("CMainDoc::SendStartToLocalSrv")
  const CString folder = GetExePath(0);
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 1;
  cmd["INT_VERSION"] = kProgramVersion;
  cmd["STR_LOCAL_SERVER_ROOT_PATH"] = folder + "root";
  cmd["STR_PROG_PATH"] = folder;
  cmd["INT_LOCAL_SERVER_PORT"] = CProcessValues::GetLocalSrvPort();
  cmd["STR_REMOTE_SERVER"] = CProcessValues::GetRemoteSrvHost();
  cmd["INT_REMOTE_SERVER_PORT"] = CProcessValues::GetRemoteSrvPort();
  // Named only when it is not plain http, the component's default.
  if (CProcessValues::GetRemoteSrvScheme() == "https") cmd["STR_REMOTE_SCHEME"] = "https";
  cmd["INT_TEST_ALONE"] = 0;
  SendToLocalSrv(cmd);
  OP_END
}

void CMainDoc::SendAddressToLocalSrv() {
  OP_BEGIN("CMainDoc::SendAddressToLocalSrv")
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 3;
  cmd["STR_REMOTE_SERVER"] = CProcessValues::GetRemoteSrvHost();
  cmd["INT_REMOTE_SERVER_PORT"] = CProcessValues::GetRemoteSrvPort();
  if (CProcessValues::GetRemoteSrvScheme() == "https") cmd["STR_REMOTE_SCHEME"] = "https";
  // A component away now gets the address with its restart's start command.
  QuitStep([&] { SendToLocalSrv(cmd); });
  OP_END
}

void CMainDoc::SendLoginToLocalSrv(const CString& strUserName) {
  OP_BEGIN("CMainDoc::SendLoginToLocalSrv")
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 2;
  cmd["INT_USER_ID"] = 0;
  cmd["STR_USERNAME"] = strUserName;
  cmd["STR_USER_DB_FILE"] = GetExePath(0) + "users/" + strUserName + "/db.dat";
  m_strLoggedUser = strUserName;
  SendToLocalSrv(cmd);
  OP_END
}

void CMainDoc::StopLocalSrv() {
  OP_BEGIN("CMainDoc::StopLocalSrv")
  m_localSrvWatch.UnRegisterTimer();
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 100;
  QuitStep([&] { SendToLocalSrv(cmd); });
  m_drvLocalSrv.DestroyInstance();
  OP_END
}

void CMainDoc::CheckLocalSrv() {
  OP_BEGIN("CMainDoc::CheckLocalSrv")
  if (m_bQuitting || m_drvLocalSrv.IsAlive()) return;
  const long now = m_localSrvWatch.Ticks();
  while (!m_restartTicks.empty() && now - m_restartTicks.front() >= CLocalSrvWatch::kWindowTicks) {
    m_restartTicks.pop_front();
  }
  if (static_cast<int>(m_restartTicks.size()) >= CLocalSrvWatch::kMaxRestarts) {
    // Held back until the oldest restart leaves the window; said once.
    if (m_drvLocalSrv.HasInstance()) {
      ZTRACE(1, zenuOpName_, "LocalSrv keeps going away, next restart later");
      m_drvLocalSrv.DestroyInstance();
      SetStatusInfo(2, "本地服务多次意外退出，稍后将再次启动");
    }
    return;
  }
  m_restartTicks.push_back(now);
  ZTRACE(1, zenuOpName_, "LocalSrv is gone, restarting it");
  SetStatusInfo(2, "本地服务意外退出，正在重新启动");
  RestartLocalSrv();
  OP_END
}

void CMainDoc::RestartLocalSrv() {
  m_drvLocalSrv.DestroyInstance();
  try {
    m_drvLocalSrv.CreateInstance();
    SendStartToLocalSrv();
    if (!m_strLoggedUser.empty()) SendLoginToLocalSrv(m_strLoggedUser);
  } catch (CProgramException* e) {
    // The next look tries again, within the same limit; a name held by
    // another process is waited for without a limit, and its holder once
    // told of is not logged at every look.
    const bool held = m_drvLocalSrv.GetLastCreateResult() == AUTO_E_NOT_OURS;
    if (held && DescribeHolder(m_drvLocalSrv.GetProgID()) == g_strLocalSrvHolder)
      e->Delete();
    else
      LogAndDeleteException(e);
    m_drvLocalSrv.DestroyInstance();
    if (held) {
      if (!m_restartTicks.empty()) m_restartTicks.pop_back();
      TellLocalSrvNameHeld(m_drvLocalSrv);
    }
  }
}

void CMainDoc::QuitStep(const std::function<void()>& step) {
  try {
    step();
  } catch (CException* e) {
    LogAndDeleteException(e);
  }
}

int CMainDoc::OnIntfScheduleControlEvent(int iEvent, CString* /*pstr*/) {
  OP_BEGIN("CMainDoc::OnIntfScheduleControlEvent")
  if (iEvent != kLocalSrvReadyEvent) return 0;
  // Later ready commands come from a restarted component: the session runs on.
  if (m_bSessionStarted) {
    SetStatusInfo(2, "本地服务已恢复");
    return 0;
  }
  m_bSessionStarted = true;
  ContinueInit();
  return 0;
  OP_END
}

void CMainDoc::SetStatusInfo(int iPane, const CString& strText) {
  OP_BEGIN("CMainDoc::SetStatusInfo")
  SMainDocEvent evt;
  evt.iType = 4;
  evt.iParam = iPane;
  evt.strText = strText;
  SendToFrame(evt);
  OP_END
}

void CMainDoc::OnActivateRequest() {
  OP_BEGIN("CMainDoc::OnActivateRequest")
  // During login the window is still empty: the login dialog is what to show.
  if (m_pLogin && !m_pLogin->IsAllModalDlgClosed()) {
    m_pLogin->BringToFront();
    return;
  }
  if (m_pMainFrame) m_pMainFrame->ShowMaximizedAndRaise();
  OP_END
}

void CMainDoc::PostSchedule(int iEvent, const CString& text) {
  OP_BEGIN("CMainDoc::PostSchedule")
  CString copy = text;
  CIntfScheduleControl::GetInstance()->AddTask(iEvent, &copy);
  OP_END
}
