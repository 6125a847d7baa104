#include "UpdateControl2.h"

#include "Log.h"
#include "OperationWrapper.h"
#include "TimerControl.h"
#include "UpdateControl.h"
#include "desktop/Platform.h"
#include "desktop/VersionStopDialog.h"

namespace {
constexpr int kRepeatSeconds = 30;
}  // namespace

CUpdateControl2::CUpdateControl2() : m_timer([this] { OnHTTPReqTimerEvent(); }) {}

bool CUpdateControl2::IsRepeating() const {
  return CTimerControl::GetInstance()->IsRegistered(&m_timer);
}

void CUpdateControl2::Register2(CTemplIntfUpdateControlCaller* pCaller, int iVersion,
                                const CString& strDisplay, const CString& strUrl) {
  OP_BEGIN("CUpdateControl2::Register2")
  CUpdateControl::SplitRequestUrl(strUrl, m_strRequestUrl, m_iRequestPort);
  m_pCaller = pCaller;
  m_iCurVersion = iVersion;
  m_strCurDisplay = strDisplay;
  m_strUrl = strUrl;
  OnHTTPReqTimerEvent();
  m_timer.RegisterTimer(kRepeatSeconds, 0);
  OP_END
}

void CUpdateControl2::OnHTTPReqTimerEvent() {
  OP_BEGIN("CUpdateControl2::OnHTTPReqTimerEvent")
  HttpRequest(m_strRequestUrl, m_iRequestPort);
  OP_END
}

void CUpdateControl2::ProcessResult(CBuffer& buf) {
  OP_BEGIN("CUpdateControl2::ProcessResult")
  CString text;
  buf.CopyToString(text);
  if (!CUpdateControl::SetVersionInfo(text, m_info)) {
    ZTRACE(1, "CUpdateControl2::ProcessResult", "解析ini文件失败");
    if (m_pCaller) m_pCaller->OnIntfUpdateControlEvent(UE_PARSE_FAILED);
    return;
  }
  m_timer.UnRegisterTimer();
  if (m_info.iAbandonVersion < m_iCurVersion) return;
  SVersionStopDlgData data;
  data.strCurrentDisplay = m_strCurDisplay;
  data.strUpdateUrl = m_info.strUpdateUrl;
  const CString updateUrl = m_info.strUpdateUrl;
  if (IVersionStopDialog* dialog = VersionStopDialog()) {
    dialog->DoModal(data, [updateUrl] { CUpdateControl::OpenUpdateUrl(updateUrl); });
  } else {
    ShowMessageBox("当前版本:" + data.strCurrentDisplay +
                   "\n该版本过旧，已经停用，请下载最新版本\n最新版本网址:" + data.strUpdateUrl);
  }
  if (m_pCaller) m_pCaller->OnIntfUpdateControlEvent(UE_VERSION_RETIRED);
  OP_END
}

void CUpdateControl2::ProcessState(SHttpState&) {}

void CUpdateControl2::ProcessError(CString) {}
