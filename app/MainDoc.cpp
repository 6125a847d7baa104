#include "MainDoc.h"

#include "zenuModule/src/IntfScheduleControl.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ProcessValues.h"

CMainDoc::CMainDoc() : m_drvLocalSrv("zenu.LocalServer") {}

CMainDoc::~CMainDoc() = default;

void CMainDoc::SendToLocalSrv(Json::Value& document) {
  OP_BEGIN("CMainDoc::SendToLocalSrv")
  m_drvLocalSrv.CallMethod("OnOrvexCmd", FALSE, &document);
  OP_END
}

void CMainDoc::StartLocalSrv() {
  OP_BEGIN("CMainDoc::StartLocalSrv")
  m_drvLocalSrv.CreateInstance();
  const CString folder = GetExePath(0);
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 1;
  cmd["INT_VERSION"] = kProgramVersion;
  cmd["STR_LOCAL_SERVER_ROOT_PATH"] = folder + "root";
  cmd["STR_PROG_PATH"] = folder;
  cmd["INT_LOCAL_SERVER_PORT"] = CProcessValues::GetLocalSrvPort();
  cmd["STR_REMOTE_SERVER"] = kDefaultRemoteHost;
  cmd["INT_REMOTE_SERVER_PORT"] = CProcessValues::GetRemoteSrvPort();
  cmd["INT_TEST_ALONE"] = 0;
  SendToLocalSrv(cmd);
  // Registered after the call: the ready command is only delivered from the loop.
  CIntfScheduleControl::GetInstance()->Register(this, kLocalSrvReadyEvent);
  OP_END
}

void CMainDoc::SendLoginToLocalSrv(const CString& strUserName) {
  OP_BEGIN("CMainDoc::SendLoginToLocalSrv")
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 2;
  cmd["INT_USER_ID"] = 0;
  cmd["STR_USERNAME"] = strUserName;
  cmd["STR_USER_DB_FILE"] = GetExePath(0) + "users/" + strUserName + "/db.dat";
  SendToLocalSrv(cmd);
  OP_END
}

void CMainDoc::StopLocalSrv() {
  OP_BEGIN("CMainDoc::StopLocalSrv")
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 100;
  SendToLocalSrv(cmd);
  m_drvLocalSrv.DestroyInstance();
  OP_END
}

int CMainDoc::OnIntfScheduleControlEvent(int iEvent, CString* /*pstr*/) {
  OP_BEGIN("CMainDoc::OnIntfScheduleControlEvent")
  if (iEvent == kLocalSrvReadyEvent) ContinueInit();
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
