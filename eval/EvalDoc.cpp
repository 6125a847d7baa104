#include "EvalDoc.h"

#include "EvalDialog.h"
#include "EvalEventSink.h"
#include "prompt/PromptMgrDoc.h"
#include "settings/ConfigDoc.h"
#include "store/IntfDB.h"
#include "store/MultiUserMgr.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
const char kBalloonTitle[] = "评价电影";

// Any true value of the command document means yes; the service knows only 0 and 1.
int ReadRecommend(const Json::Value& extra) {
  const Json::Value& v = extra["INT_IS_RMD_ALL"];
  if (v.isBool()) return v.asBool() ? 1 : 0;
  if (v.isInt() || v.isUInt() || v.isInt64() || v.isUInt64()) return v.asLargestInt() != 0 ? 1 : 0;
  if (v.isDouble()) return v.asDouble() != 0.0 ? 1 : 0;
  return 0;
}

CString ReadComment(const Json::Value& extra) {
  const Json::Value& v = extra["UTF8_COMMENT"];
  return v.isString() ? v.asString() : CString();
}
}  // namespace

CEvalDoc::CEvalDoc() : m_caller(*this) { (void)m_iReserved; }

CEvalDoc::~CEvalDoc() = default;

CString CEvalDoc::BuildReportUrl(const CString& strHost, const CString& strUserName,
                                 RecordGID ulGID, int iScore, int iRecommendAll,
                                 const CString& strUtf8Comment) {
  // A bare host speaks plain http; a root names its scheme.
  const bool bRoot = strHost.find("://") != CString::npos;
  CString url =
      StringFormat("%s%s/urls/UserReportStatus?", bRoot ? "" : "http://", strHost.c_str());
  url += StringFormat("username=%s", URLEncode(URLEncode(strUserName)).c_str());
  url += StringFormat("&eval=%u,%d", ulGID, iScore);
  url += StringFormat("&iIsRmdAllFriend=%d", iRecommendAll);
  if (!strUtf8Comment.empty()) {
    url += StringFormat("&utf8Comment=%s", URLEncode(strUtf8Comment).c_str());
  }
  return url;
}

void CEvalDoc::EvalRecord(RecordGID ulGID, int iScore, int iKind, const Json::Value* pExtra) {
  OP_BEGIN("CEvalDoc::EvalRecord")
  if (m_iCalcFlag == 1) return;
  if (iScore < 1 || iScore > 5) {
    ZTRACE(1, zenuOpName_, "invalid score %d for movie %u ignored", iScore, ulGID);
    return;
  }
  // The calc flag can be cleared by the push engine while a report still runs; a
  // second report then would take over the evaluated record of the first.
  if (m_caller.IsBusy()) {
    ZTRACE(1, zenuOpName_, "a rating report is still running; movie %u ignored", ulGID);
    return;
  }
  m_iCalcFlag = 1;

  int iRecommendAll = 0;
  CString comment;
  if (pExtra != nullptr && pExtra->isObject()) {
    iRecommendAll = ReadRecommend(*pExtra);
    comment = ReadComment(*pExtra);
  } else if (iScore == 5) {
    iRecommendAll =
        ShowMessageBox("是否将电影推荐给所有粉丝？", MB_YESNO | MB_ICONQUESTION) == IDYES ? 1 : 0;
  }
  m_iEvalKind = iKind;

  CString user;
  CMultiUserMgr::GetInstance()->GetDefaultUser(&user, nullptr);
  const CString url = BuildReportUrl(CProcessValues::GetRemoteSrvRoot(), user, ulGID, iScore,
                                     iRecommendAll, comment);
  m_caller.SetRecognitionInfo(kMarker, "", "");

  CRecord record;
  if (!CIntfDB::GetInstance()->GetOneRecordData(ulGID, &record)) {
    record = CRecord();
  }
  m_recEvaluated = record;

  ZTRACE(1, zenuOpName_, "User Report: %s", UrlForTrace(url).c_str());
  if (m_caller.HttpRequest(url, CProcessValues::GetRemoteSrvPort()) &&
      m_recEvaluated.GetGID() != 0) {
    m_recEvaluated.SetEval(iScore);
  }
  OP_END
}

void CEvalDoc::OnEvaledResult(bool bSuccess) {
  OP_BEGIN("CEvalDoc::OnEvaledResult")
  CPromptMgrDoc* prompts = CPromptMgrDoc::GetInstance();
  if (!bSuccess) {
    m_iCalcFlag = 0;
    if (m_pSession) m_pSession->SetStatusInfo(3, "评价发送失败，请检查网络");
    prompts->ShowPrompt(
        0, StringFormat("%s 评价发送失败", m_recEvaluated.GetTaskDisplayName().c_str()),
        kBalloonTitle);
    return;
  }

  ZTRACE(1, zenuOpName_, "评价电影成功");
  if (m_pSession) m_pSession->SetStatusInfo(3, "评价发送成功");
  CRecord stored;
  if (m_recEvaluated.GetGID() != 0 &&
      CIntfDB::GetInstance()->GetOneRecordData(m_recEvaluated.GetGID(), &stored)) {
    stored.SetEval(m_recEvaluated.GetEval());
    CIntfDB::GetInstance()->UpdateRecord(stored);
    // Kept only once accepted, so "立即推送" never repeats a refused report.
    CConfigDoc::GetInstance()->SaveLastEvalRecord(m_recEvaluated.GetGID(),
                                                  m_recEvaluated.GetEval());
  }
  if (m_iEvalKind == 0) prompts->ShowPrompt(0, "评价发送成功", kBalloonTitle);

  if (m_pEventSink != nullptr) {
    SEvalDocEvent evt;
    evt.iType = 0;
    evt.record = m_recEvaluated;
    m_pEventSink->OnEvalDocEvent(evt);
  } else {
    // Nobody waits for the pushes that follow: ratings must not stay blocked.
    m_iCalcFlag = 0;
  }
  OP_END
}

void CEvalDoc::MakeSureEval(CRecord& record) {
  OP_BEGIN("CEvalDoc::MakeSureEval")
  if (record.GetEval() != 0) return;
  CEvalDialog dialog;
  dialog.SetRecordName(record.GetTaskDisplayName());
  const int iScore = dialog.DoModal();
  record.SetEval(iScore);
  EvalRecord(record.GetGID(), iScore, 0, nullptr);
  OP_END
}
