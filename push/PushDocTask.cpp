#include <json/value.h>

#include <cstdlib>
#include <memory>

#include "eval/EvalDoc.h"
#include "push/PushDoc.h"
#include "settings/ConfigDoc.h"
#include "store/IntfDB.h"
#include "zenuModule/src/CmdParams.h"
#include "zenuModule/src/IntfHttpReq.h"
#include "zenuModule/src/IntfScheduleControl.h"
#include "zenuModule/src/IntfUpdateControl.h"
#include "zenuModule/src/JsonParse.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
// Guards DisplayCalcDlg and the usage-hint timer against nested calls.
int g_bInCalcDlg = 0;
int g_bInPromptUsage = 0;

const char kResourceHint[] = "评价一个电影后将按您喜好推送新电影";

CString LocalUrl(const char* path) { return CProcessValues::GetLocalSrvBaseUrl() + path; }

// Whether a user-chosen dialog answered OK; without a UI the question is skipped.
// Movies that arrive while the question is open are in the list already: asking
// again from inside the open question would stack one question on another.
int g_bAskingNewTask = 0;
bool AskNewTask(const CString& text) {
  INewTaskDialog* dlg = NewTaskDialog();
  if (!dlg || g_bAskingNewTask) return false;
  g_bAskingNewTask = 1;
  struct SReset {
    ~SReset() { g_bAskingNewTask = 0; }
  } reset;
  return dlg->DoModal(text) == IDOK;
}
// A page dialog named by its UI.ini section, sized from there.
void InitDialog(CCenterHTMLDialog& dlg, const CString& strName, const CString& strUrl) {
  CConfigDoc* config = CConfigDoc::GetInstance();
  dlg.SetInitInfo(strName, strUrl, atoi(config->LoadGlobalConfigItem(strName, "width").c_str()),
                  atoi(config->LoadGlobalConfigItem(strName, "height").c_str()));
}

}  // namespace

void CPromptUsageTimerCaller::TimerCallBack() {
  if (g_bInPromptUsage) return;
  g_bInPromptUsage = 1;
  struct SReset {
    ~SReset() { g_bInPromptUsage = 0; }
  } reset;
  CPushDoc::GetInstance()->OnPromptUsageTimerCallerEvent();
}

void CPushDoc::OnPromptUsageTimerCallerEvent() { PromptUsage(); }

void CPushDoc::StartRequesting(const CString& strParam, int iUserKind) {
  OP_BEGIN("CPushDoc::StartRequesting")
  const CString base = CProcessValues::GetLocalSrvBaseUrl();
  CString url;
  if (strParam == "ReqNewMov") {
    url = StringFormat(iUserKind <= 1 ? "%s/ReqTask?strAction=%s&strType=OldUser"
                                      : "%s/ReqTask?strAction=%s&strType=NewUser",
                       base.c_str(), strParam.c_str());
  } else {
    url = StringFormat("%s/ReqTask?strAction=StartReqTask&strType=%s", base.c_str(),
                       strParam.c_str());
  }
  CString response;
  if (!CIntfHttpReq::GetInstance()->HttpRequestSync(url, 80, response))
    RAISE_ERROR("请求任务本地网络异常，可能需要重启");
  Json::Value root;
  if (!ParseJsonText(response, root)) RAISE_ERROR("请求任务本地解析异常，可能需要重启");
  // Anything but an array whose first element is a non-zero integer is refused.
  int iAccepted = 0;
  if (root.isArray() && root.size() > 0 && (root[0].isIntegral() || root[0].isDouble()))
    iAccepted = root[0].asInt();
  if (iAccepted == 0) RAISE_ERROR("请求任务本地返回异常，可能需要重启");
  OP_END
}

void CPushDoc::RequestNewMovie() {
  OP_BEGIN("CPushDoc::RequestNewMovie")
  const int iUserKind = CIntfDB::GetInstance()->GetCount() > 0 ? 1 : 8;
  CEvalDoc* eval = CEvalDoc::GetInstance();
  if (eval->GetCalcFlag()) return;
  eval->SetCalcFlag(1);
  StartRequesting("ReqNewMov", iUserKind);
  OP_END
}

void CPushDoc::CheckPushMethod(BOOL bForce) {
  OP_BEGIN("CPushDoc::CheckPushMethod")
  CString value = CConfigDoc::MissingItem();
  if (!bForce) value = CConfigDoc::GetInstance()->LoadUserConfigItem("Prompt", "ChoosePushMethod");
  if (value == "1") {
    RequestNewMovie();
    return;
  }
  InitDialog(m_dlgChoosePushMethod, "ChooseMDlg", LocalUrl("/dialog/choose_push_method.htm"));
  if (m_dlgChoosePushMethod.DoModal() == IDOK)
    CConfigDoc::GetInstance()->SaveUserConfigItem("Prompt", "ChoosePushMethod", "1");
  OP_END
}

void CPushDoc::AfterCheckPushMethod(int iMethod) {
  OP_BEGIN("CPushDoc::AfterCheckPushMethod")
  if (iMethod == 2) {
    InitDialog(m_dlgChooseMovieType, "ChooseMovieTypeDlg",
               LocalUrl("/dialog/choose_movie_type.htm"));
    m_dlgChooseMovieType.DoModal();
  }
  RequestNewMovie();
  OP_END
}

void CPushDoc::DisplayCalcDlg() {
  OP_BEGIN("CPushDoc::DisplayCalcDlg")
  if (g_bInCalcDlg) return;
  g_bInCalcDlg = 1;
  // The flag must not stay set when the dialog raises.
  struct SReset {
    ~SReset() { g_bInCalcDlg = 0; }
  } reset;
  CEvalDoc::GetInstance()->SetCalcFlag(1);
  InitDialog(m_dlgCalcProgress, "CalcProgressDlg", LocalUrl("/dialog/calc_progress.htm"));
  m_dlgCalcProgress.DoModal();
  OP_END
}

void CPushDoc::EndCalcDlg(int iCmd) {
  OP_BEGIN("CPushDoc::EndCalcDlg")
  CEvalDoc::GetInstance()->SetCalcFlag(0);
  if (m_dlgCalcProgress.HasWindow()) m_dlgCalcProgress.EndDialog(IDOK);
  if (iCmd == 36)
    ShowMessageBox(
        "对不起，指定推送方式的电影都已推送完，请稍后再试。\n\n如果您是按电影类型推送，可以尝试放宽"
        "限制条件。",
        MB_OK);
  OP_END
}

BOOL CPushDoc::IsAllHTMLDlgEnd() {
  return !m_dlgCalcProgress.HasWindow() && !m_dlgChoosePushMethod.HasWindow() &&
         !m_dlgChooseMovieType.HasWindow();
}

void CPushDoc::EndAllHTMLDialog() {
  OP_BEGIN("CPushDoc::EndAllHTMLDialog")
  m_dlgCalcProgress.EndDialog(0);
  m_dlgChoosePushMethod.EndDialog(0);
  m_dlgChooseMovieType.EndDialog(0);
  OP_END
}

int CPushDoc::ReceiveNewTask(const CString& strMediaInfo) {
  OP_BEGIN("CPushDoc::ReceiveNewTask")
  CGIDList gids;
  CIntfDB::GetInstance()->AddPushedRecord(strMediaInfo, CConfigDoc::GetInstance()->GetSaveas(),
                                          &gids);
  m_callerPromptUsage.RegisterTimer(30, 1);
  if (gids.empty()) return 0;
  const int count = static_cast<int>(gids.size());
  ZTRACE(1, "CPushDoc::ReceiveNewTask", "请求任务成功，获得新任务. Total is: %d", count);
  // The list shows the new movies whatever the answer to the question below.
  RefreshShownCategory();
  if (m_pSession) m_pSession->SetStatusInfo(3, "");
  OnRequestRecordStatus(1, count);
  ProcessPushInfo();
  CRecord first;
  CIntfDB::GetInstance()->GetOneRecordData(gids.front(), &first);
  CConfigDoc* config = CConfigDoc::GetInstance();
  if (config->LoadUserConfigItem("Prompt", "FirstRun") == CConfigDoc::MissingItem()) {
    config->SaveUserConfigItem("Prompt", "FirstRun", "1");
    ShowMessageBox(StringFormat("为您推送了%d个电影", count), MB_OK);
    m_ulFocusGID = gids.front();
    ChangeToNewTask(TRUE);
    return 0;
  }
  const char* format = "有新电影“%s”，是否立即查看？";
  if (FEqual(first.GetExpectEval(), 300)) {
    format = "有好友推荐新电影“%s”，是否立即查看？";
  } else if (FEqual(first.GetExpectEval(), 100)) {
    format = "有定制推送新电影“%s”，是否立即查看？";
  }
  if (AskNewTask(StringFormat(format, first.GetTaskDisplayName().c_str()))) {
    m_ulFocusGID = gids.front();
    ChangeToNewTask(TRUE);
  }
  return 0;
  OP_END
}

void CPushDoc::ReceiveNewTask2(const Json::Value& dictMovie) {
  OP_BEGIN("CPushDoc::ReceiveNewTask2")
  CRecord rec;
  if (CIntfDB::GetInstance()->AddPushedRecord2(&dictMovie, CConfigDoc::GetInstance()->GetSaveas(),
                                               &rec)) {
    RefreshShownCategory();
    if (AskNewTask(
            StringFormat("有新电影“%s”，是否立即查看？", rec.GetTaskDisplayName().c_str()))) {
      m_ulFocusGID = rec.GetGID();
      ChangeToNewTask(TRUE);
    }
    return;
  }
  ShowMessageBox(
      StringFormat("电影  %s  已经存在，您可以马上查看", rec.GetTaskDisplayName().c_str()), MB_OK);
  FindAndDisplayMovie(rec.GetGID());
  OP_END
}

void CPushDoc::ProcessPushInfo() {
  OP_BEGIN("CPushDoc::ProcessPushInfo")
  CGIDList ids;
  CIntfDB::GetInstance()->GetGIDList(0, &ids, 1);
  CString text;
  if (ids.empty()) {
    text = CString("软件用法：") + kResourceHint;
  } else {
    int unrated = 0;
    for (RecordGID gid : ids) {
      CRecord rec;
      if (CIntfDB::GetInstance()->GetOneRecordData(gid, &rec) && rec.GetEval() == 0) ++unrated;
    }
    text = unrated == 0 ? CString("可点击“立即推送”获得新推送电影")
                        : StringFormat("%s（%d个未评价）", kResourceHint, unrated);
  }
  if (m_pSession) m_pSession->SetStatusInfo(1, text);
  OP_END
}

void CPushDoc::OnRequestRecordStatus(int iState, int iCount) {
  OP_BEGIN("CPushDoc::OnRequestRecordStatus")
  CString text;
  switch (iState) {
    case -1:
      text = "服务器未连接";
      break;
    case 0:
      text = "服务器未连接，3分钟内重连";
      break;
    case 1:
      text = "服务器已连接";
      if (iCount > 0) text += StringFormat("，%d个新电影", iCount);
      break;
    case 2:
      text = "正在连接服务器";
      break;
    default:
      return;
  }
  if (m_pSession) m_pSession->SetStatusInfo(2, text);
  OP_END
}

void CPushDoc::InitFrame(BOOL bShowNewTask) {
  OP_BEGIN("CPushDoc::InitFrame")
  CIntfDB::GetInstance()->LoadDB();
  const CString url = UrlAndPort(
      StringFormat("%s/update_info/zenu/update.ini", CProcessValues::GetRemoteSrvRoot().c_str()),
      CProcessValues::GetRemoteSrvPort());
  CIntfUpdateControl::GetInstance()->Register(this, kProgramVersion, kDisplayName, url);
  m_bUpdateRegistered = true;
  if (bShowNewTask) {
    m_iCurCategory = PC_NEWTASK;
    ChangeToNewTask(CCmdParams::GetInstance()->GetIsAuto() ? FALSE : TRUE);
  }
  CGIDList ids;
  CIntfDB::GetInstance()->GetGIDList(0, &ids, 1);
  if (!ids.empty()) AutoStartDownload();
  WatchHandOffs();
  ProcessPushInfo();
  OnRequestRecordStatus(-1, 0);
  CIntfScheduleControl* schedule = CIntfScheduleControl::GetInstance();
  for (int iEvent : {111, 112, 37, 40, 130}) schedule->Register(this, iEvent);
  CConfigDoc::GetInstance()->SetShareSettingsListener([] {
    if (CPushDoc::HasInstance()) CPushDoc::GetInstance()->ShareKeeper().ApplySettings();
  });
  m_shareKeeper.Start(m_pSession);
  OP_END
}

void CPushDoc::ChangeToNewTask(BOOL bActivate) {
  OP_BEGIN("CPushDoc::ChangeToNewTask")
  if (bActivate && m_pSession) m_pSession->OnPushDocEvent(0);
  m_arrSortStatus[PC_NEWTASK] = {1, 3, 0};
  ChangeNewTaskEx(m_ulFocusGID);
  if (m_ulFocusGID != 0) DisplayBulletin(m_ulFocusGID);
  OP_END
}

void CPushDoc::OnEvalDocEvent(const SEvalDocEvent& evt) {
  OP_BEGIN("CPushDoc::OnEvalDocEvent")
  if (evt.iType != 0) return;
  RefreshRecord(evt.record.GetGID());
  ProcessPushInfo();
  StartRequesting("quick", 0);
  DisplayCalcDlg();
  OP_END
}

void CPushDoc::OnConfigDlgEvent(int iEvent) {
  OP_BEGIN("CPushDoc::OnConfigDlgEvent")
  if (iEvent == 0) CheckPushMethod(TRUE);
  OP_END
}

int CPushDoc::OnIntfScheduleControlEvent(int iEvent, CString* pstrData) {
  OP_BEGIN("CPushDoc::OnIntfScheduleControlEvent")
  switch (iEvent) {
    case 37:
      ReceiveNewTask(pstrData ? *pstrData : CString());
      break;
    case 40:
      StartRequesting("quick", 0);
      DisplayCalcDlg();
      break;
    case 111:
      AfterCheckPushMethod(1);
      break;
    case 112:
      AfterCheckPushMethod(2);
      break;
    case 130:
      CheckPushMethod(TRUE);
      break;
    default:
      break;
  }
  return 0;
  OP_END
}

void CPushDoc::OnIntfUpdateControlEvent(int) {}
