#include "MainDoc.h"

#include "settings/ServiceHostSetting.h"
#include "zenuModule/src/IntfScheduleControl.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/ProgramException.h"

CMainDoc::CMainDoc()
    : m_drvLocalSrv("zenu.LocalServer"), m_localSrvWatch([this] { CheckLocalSrv(); }) {}

CMainDoc::~CMainDoc() { CServiceHostSetting::SetChangeListener(nullptr); }

void CMainDoc::SendToLocalSrv(Json::Value& document) {
  OP_BEGIN("CMainDoc::SendToLocalSrv")
  m_drvLocalSrv.CallMethod("OnOrvexCmd", FALSE, &document);
  OP_END
}

void CMainDoc::StartLocalSrv() {
  OP_BEGIN("CMainDoc::StartLocalSrv")
  m_drvLocalSrv.CreateInstance();
  SendStartToLocalSrv();
  CServiceHostSetting::SetChangeListener([this] { SendAddressToLocalSrv(); });
  // Registered after the call: the ready command is only delivered from the loop.
  CIntfScheduleControl::GetInstance()->Register(this, kLocalSrvReadyEvent);
  m_localSrvWatch.RegisterTimer(CLocalSrvWatch::kIntervalSeconds, 0);
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
    // The next look tries again, within the same limit.
    LogAndDeleteException(e);
    m_drvLocalSrv.DestroyInstance();
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
