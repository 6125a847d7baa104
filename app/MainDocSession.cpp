// The session's life: from the component's ready command to the closed frame.
#include <chrono>
#include <thread>

#include "MainDoc.h"
#include "account/RegLoginDoc.h"
#include "eval/EvalDoc.h"
#include "prompt/PromptMgrDoc.h"
#include "push/PushDoc.h"
#include "settings/ConfigDoc.h"
#include "store/MultiUserMgr.h"
#include "zenuModule/src/CmdParams.h"
#include "zenuModule/src/HttpReqControl.h"
#include "zenuModule/src/IntfHttpReq.h"
#include "zenuModule/src/IntfUpdateControl.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"

void CMainDoc::SendToFrame(const SMainDocEvent& evt) {
  if (m_pMainFrame) m_pMainFrame->OnUpdate(evt);
}

void CMainDoc::UseDefaultServices() {
  if (!m_pLogin) m_pLogin = CRegLoginDoc::GetInstance();
  if (!m_pPrompts) m_pPrompts = CPromptMgrDoc::GetInstance();
  if (!m_pEvalService) m_pEvalService = CEvalDoc::GetInstance();
  // The program's own documents run in this session whichever were set.
  CPromptMgrDoc::GetInstance()->SetSession(this);
  CEvalDoc::GetInstance()->SetSession(this);
  if (!m_pPushEngine) {
    CPushDoc* push = CPushDoc::GetInstance();
    push->SetSession(this);
    SetPushEngine(push);
    CEvalDoc::GetInstance()->SetEventSink(push);
    CConfigDoc::GetInstance()->SetPushMethodSink(push);
  }
}

void CMainDoc::ContinueInit() {
  OP_BEGIN("CMainDoc::ContinueInit")
  CString url =
      StringFormat("%s/update_info/zenu/update.ini", CProcessValues::GetRemoteSrvRoot().c_str());
  url = UrlAndPort(url, CProcessValues::GetRemoteSrvPort());
  CIntfUpdateControl::GetInstance()->Register2(this, kProgramVersion, kDisplayName, url);

  if (!Login()) {
    // A retired version has already asked the frame to quit.
    if (m_bQuitByUpdate != 1 && m_pMainFrame) {
      m_pMainFrame->PostCommand(IMainFrameView::kExitCommand);
    }
    return;
  }

  CString strUser;
  CString strDigest;
  CMultiUserMgr::GetInstance()->GetDefaultUser(&strUser, &strDigest);
  SendLoginToLocalSrv(strUser);

  if (m_pMainFrame) m_pMainFrame->ShowAfterLogin(CCmdParams::GetInstance()->GetIsAuto() != 0);
  LoginOK();
  StartCheckNet();
  OP_END
}

BOOL CMainDoc::Login() {
  OP_BEGIN("CMainDoc::Login")
  return m_pLogin ? m_pLogin->ShowLoginDlg() : FALSE;
  OP_END
}

void CMainDoc::LoginOK() {
  OP_BEGIN("CMainDoc::LoginOK")
  SMainDocEvent loggedIn;
  loggedIn.iType = 1;
  SendToFrame(loggedIn);

  CConfigDoc* config = CConfigDoc::GetInstance();
  config->LoadConfig();
  if (config->IsFirstRun()) {
    SMainDocEvent help;
    help.iType = 2;
    SendToFrame(help);
    if (m_pPushEngine) m_pPushEngine->InitFrame(FALSE);
  } else {
    if (m_pPushEngine) m_pPushEngine->InitFrame(TRUE);
  }
  config->InitFirstStart();
  OP_END
}

void CMainDoc::StartCheckNet() {
  OP_BEGIN("CMainDoc::StartCheckNet")
  m_netStatus.CheckNet();
  m_netStatus.RegisterTimer(CNetworkStatus::kIntervalSeconds, 0);
  OP_END
}

void CMainDoc::OnPushDocEvent(int iFlag) {
  OP_BEGIN("CMainDoc::OnPushDocEvent")
  if (iFlag != 0) return;
  if (m_pMainFrame) m_pMainFrame->ShowMaximizedAndRaise();
  SMainDocEvent evt;
  evt.iType = 3;
  SendToFrame(evt);
  OP_END
}

void CMainDoc::OnCloseBallon() {
  OP_BEGIN("CMainDoc::OnCloseBallon")
  if (!m_pPrompts) return;
  const int iEvent = m_pPrompts->GetCloseBallonEvent();
  if (iEvent == 1 || iEvent == 2) {
    if (m_pMainFrame) m_pMainFrame->ShowMaximizedAndRaise();
    if (iEvent == 2 && m_pPushEngine) m_pPushEngine->SetFocusOnNewDownloaded();
  }
  m_pPrompts->SetCloseBallonEvent(0);
  OP_END
}

void CMainDoc::OnMainFrameEvent(const SMainFrameEvent& evt) {
  OP_BEGIN("CMainDoc::OnMainFrameEvent")
  switch (evt.iType) {
    case 0:
      // Every step runs whatever the components do: a quit must always quit.
      m_bQuitting = true;
      QuitStep([this] { StopLocalSrv(); });
      if (m_pPushEngine) {
        QuitStep([this] { m_pPushEngine->StopRefreshRecord(); });
        QuitStep([this] { m_pPushEngine->CloseBTCOM(); });
      }
      ClearStuffAtQuit();
      break;
    case 1:
      m_bQuitting = true;
      m_localSrvWatch.UnRegisterTimer();
      if (m_pPushEngine) QuitStep([this] { m_pPushEngine->StopRefreshRecord(); });
      ClearStuffAtQuit();
      break;
    case 2: {
      SMainDocEvent balloon;
      balloon.iType = 0;
      balloon.strInfo1 = evt.strInfo1;
      balloon.strInfo2 = evt.strInfo2;
      SendToFrame(balloon);
      break;
    }
    case 3:
      OnCloseBallon();
      break;
    case 4:
      if (m_pLogin) m_pLogin->BringToFront();
      break;
    default:
      RAISE_ERROR("遇到未知MainFrame事件");
  }
  OP_END
}

void CMainDoc::OnIntfUpdateControlEvent(int iEvent) {
  OP_BEGIN("CMainDoc::OnIntfUpdateControlEvent")
  if (iEvent != 0) return;
  if (m_pMainFrame) m_pMainFrame->PostCommand(IMainFrameView::kExitCommand);
  m_bQuitByUpdate = 1;
  OP_END
}

void CMainDoc::ClearStuffAtQuit() {
  OP_BEGIN("CMainDoc::ClearStuffAtQuit")
  m_netStatus.Stop();
  if (m_pPushEngine) QuitStep([this] { m_pPushEngine->EndAllHTMLDialog(); });
  if (m_pLogin) QuitStep([this] { m_pLogin->CloseAllModalDlg(); });
  CIntfHttpReq::GetInstance()->ExitAllHTTP();
  // The workers need nothing from this thread to end.
  while (CHttpReqControl::GetThreadCount() > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  }
  m_netStatus.UnRegisterTimer();
  RegisterTimer(1, 0);
  OP_END
}

void CMainDoc::TimerCallBack() {
  OP_BEGIN("CMainDoc::TimerCallBack")
  const BOOL bPagesEnded = m_pPushEngine ? m_pPushEngine->IsAllHTMLDlgEnd() : TRUE;
  const BOOL bLoginClosed = m_pLogin ? m_pLogin->IsAllModalDlgClosed() : TRUE;
  if (bPagesEnded && bLoginClosed) {
    UnRegisterTimer();
    CallMFCClose();
  }
  OP_END
}

void CMainDoc::CallMFCClose() {
  OP_BEGIN("CMainDoc::CallMFCClose")
  SMainDocEvent evt;
  evt.iType = 5;
  SendToFrame(evt);
  OP_END
}
