// "不感兴趣" and the reason of a push, both answered by the service through the
// local server: the client's own requests to the service stay as they are.
#include <json/value.h>

#include "push/PushDoc.h"
#include "store/IntfDB.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
// Local server commands: tell the service "不感兴趣", ask why a movie was pushed.
constexpr int kDismissCommand = 50;
constexpr int kReasonCommand = 51;
// An unanswered question is asked again after this long.
constexpr time_t kReasonRetrySeconds = 15;
// Reasons kept at most; the cache starts again beyond.
constexpr size_t kMaxReasons = 2000;

const char kAsking[] = "正在向服务器询问推荐理由…";
}  // namespace

void CPushDoc::OnDismissRecord() {
  OP_BEGIN("CPushDoc::OnDismissRecord")
  const std::vector<uint32_t> sel = m_arrSelectedGIDs;
  for (uint32_t gid : sel) {
    CRecord rec;
    if (!CIntfDB::GetInstance()->GetOneRecordData(gid, &rec) || rec.GetStatus() == RS_DELETED)
      continue;
    Json::Value cmd(Json::objectValue);
    cmd["INT_CMD_IDX"] = kDismissCommand;
    cmd["INT_MOVIE_ID"] = gid;
    if (!m_pSession || !m_pSession->SendLocalSrvCommand(cmd)) {
      ShowMessageBox("本地服务没有运行，无法告诉服务器您不感兴趣。电影没有删除，请稍后再试");
      return;
    }
    m_mapDismissing[gid] = 1;
  }
  OP_END
}

void CPushDoc::OnDismissAnswer(RecordGID ulGID, bool bDone, const CString& strError) {
  OP_BEGIN("CPushDoc::OnDismissAnswer")
  // Also the bulletin's own button: the local server tells the outcome either way.
  const bool asked = m_mapDismissing.erase(ulGID) > 0;
  CRecord rec;
  if (!CIntfDB::GetInstance()->GetOneRecordData(ulGID, &rec)) return;
  if (!bDone) {
    if (asked)
      ShowMessageBox(StringFormat("没能告诉服务器您对“%s”不感兴趣：%s。电影没有删除",
                                  rec.GetTaskDisplayName().c_str(),
                                  strError.empty() ? "服务器没有回答" : strError.c_str()));
    return;
  }
  m_mapReasons.erase(ulGID);
  // A delete without files, without the rating question: the movie was not seen.
  m_bDismissing = true;
  try {
    TaskStatusMachine(static_cast<int>(ulGID), TE_DELETE, nullptr);
  } catch (...) {
    m_bDismissing = false;
    throw;
  }
  m_bDismissing = false;
  OP_END
}

CString CPushDoc::ReasonTip(uint32_t iRow) {
  OP_BEGIN("CPushDoc::ReasonTip")
  if (iRow >= m_arrGIDs.size()) return CString();
  const uint32_t gid = m_arrGIDs[iRow];
  const time_t now = time(nullptr);
  auto it = m_mapReasons.find(gid);
  if (it != m_mapReasons.end()) {
    const SReason& r = it->second;
    if (r.bKnown)
      return r.strText.empty() ? CString("服务器没有记下推荐这部电影的理由")
                               : "推荐理由：" + r.strText;
    if (now - r.tlAsked < kReasonRetrySeconds && now >= r.tlAsked)
      return r.strText.empty() ? CString(kAsking) : r.strText;
  }
  if (m_mapReasons.size() >= kMaxReasons) m_mapReasons.clear();
  SReason& r = m_mapReasons[gid];
  r = SReason();
  r.tlAsked = now;
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = kReasonCommand;
  cmd["INT_MOVIE_ID"] = gid;
  if (!m_pSession || !m_pSession->SendLocalSrvCommand(cmd)) {
    r.strText = "本地服务没有运行，暂时无法询问推荐理由";
    return r.strText;
  }
  return kAsking;
  OP_END
}

void CPushDoc::OnPushReason(RecordGID ulGID, bool bKnown, const CString& strReason) {
  OP_BEGIN("CPushDoc::OnPushReason")
  if (m_mapReasons.size() >= kMaxReasons) m_mapReasons.clear();
  SReason& r = m_mapReasons[ulGID];
  r.bKnown = bKnown;
  r.strText = bKnown ? strReason
                     : "暂时无法询问推荐理由：" +
                           (strReason.empty() ? CString("服务器没有回答") : strReason);
  r.tlAsked = time(nullptr);
  auto row = m_mapGIDToRow.find(ulGID);
  if (row == m_mapGIDToRow.end()) return;
  SRecordViewData data;
  data.iType = 3;
  data.iIndex = static_cast<uint32_t>(row->second);
  SendRecordView(data);
  OP_END
}
