// The user's actions on records: delete, play, rate, push now, the bulletin.
#include <json/value.h>

#include "eval/EvalDoc.h"
#include "prompt/PromptDialog.h"
#include "push/PushDoc.h"
#include "push/RecordDialogs.h"
#include "push/RecordFolders.h"
#include "settings/ConfigDoc.h"
#include "store/IntfDB.h"
#include "store/PushedValues.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/Platform.h"
#include "zenuModule/src/desktop/Shell.h"

void CPushDoc::OnDeleteRecord() {
  OP_BEGIN("CPushDoc::OnDeleteRecord")
  const std::vector<RecordGID> sel = m_arrSelectedGIDs;
  if (sel.empty()) return;
  CString question;
  if (sel.size() == 1) {
    CRecord rec;
    CIntfDB::GetInstance()->GetOneRecordData(sel.front(), &rec);
    question = StringFormat("是否要删除电影“%s”？", rec.GetTaskDisplayName().c_str());
  } else {
    question = StringFormat("是否删除%d个电影？", static_cast<int>(sel.size()));
  }
  CDeleteTaskDialog dialog;
  dialog.OnUpdate(0, question);
  if (dialog.DoModal() != IDOK) return;
  for (RecordGID gid : sel) TaskStatusMachine(gid, TE_DELETE, nullptr);
  OP_END
}

void CPushDoc::OnDelTaskDlgEvent(const int* result) {
  if (result[0] == 0) m_bDeleteFiles = result[1];
}

void CPushDoc::DeleteRecord(CRecord rec) {
  OP_BEGIN("CPushDoc::DeleteRecord")
  // Shared no more before anything of it goes.
  m_shareKeeper.Withdraw(rec.GetGID());
  if (!m_bDismissing) CEvalDoc::GetInstance()->MakeSureEval(rec);
  rec.SetStatus(RS_DELETED);
  CIntfDB::GetInstance()->UpdateRecord(rec);
  // A row in the list means a category is shown.
  if (m_mapGIDToRow.count(rec.GetGID())) RefreshShownCategory();
  if (!m_bDeleteFiles || m_bDismissing) return;
  DeleteDirectory(TorrentFolder(rec.GetGID()));
  // A stored path is trusted only as far as it names this record's own folder.
  const CString folder = rec.GetLocalAbsPath();
  const CString ownName = SafePathElement(rec.GetTaskDisplayName(), rec.GetGID());
  if (IsOwnRecordFolder(folder, CConfigDoc::GetInstance()->GetSaveas(), ownName)) {
    DeleteDirectory(folder);
  } else if (!folder.empty()) {
    ZTRACE(1, zenuOpName_, "保留了不属于该电影的目录: %s", folder.c_str());
  }
  OP_END
}

void CPushDoc::OnPlay() {
  OP_BEGIN("CPushDoc::OnPlay")
  if (!m_arrSelectedGIDs.empty()) TaskStatusMachine(m_arrSelectedGIDs.front(), TE_OPEN, nullptr);
  OP_END
}

void CPushDoc::OpenSource(RecordGID ulGID) {
  OP_BEGIN("CPushDoc::OpenSource")
  CRecord rec;
  CIntfDB::GetInstance()->GetOneRecordData(ulGID, &rec);
  const CString folder = rec.GetLocalAbsPath();
  if (!IsFolder(folder)) {
    ShowMessageBox("该资源的目录已经被删除");
    return;
  }
  if (!CanListFolder(folder)) {
    ZTRACE(1, zenuOpName_, "无法读取目录: %s", folder.c_str());
    ShowMessageBox("找不到资源文件目录");
    return;
  }
  const std::vector<CString> files = PlayableFiles(folder);
  ZTRACE(1, zenuOpName_, "目录%s中有%d个可播放文件", folder.c_str(),
         static_cast<int>(files.size()));
  if (files.empty()) {
    ShowMessageBox("找不到任何资源文件,可能被删除");
  } else if (files.size() == 1) {
    Shell().Open(folder + "/" + files.front());
  } else {
    CSelectFileDlg dialog;
    dialog.OnUpdate(0, ulGID, files);
    dialog.DoModal();
  }
  OP_END
}

void CPushDoc::OnSelectFileDlgEvent(const SSelectFileResult& result) {
  OP_BEGIN("CPushDoc::OnSelectFileDlgEvent")
  if (result.iType != 0 || result.strFile.empty()) return;
  CRecord rec;
  CIntfDB::GetInstance()->GetOneRecordData(result.ulGID, &rec);
  Shell().Open(rec.GetLocalAbsPath() + "/" + result.strFile);
  OP_END
}

void CPushDoc::EvalSelected(int iScore) {
  OP_BEGIN("CPushDoc::EvalSelected")
  if (m_arrSelectedGIDs.empty()) return;
  CEvalDoc::GetInstance()->EvalRecord(m_arrSelectedGIDs.front(), iScore, 0, nullptr);
  OP_END
}

void CPushDoc::OnEvalDisgust() { EvalSelected(1); }
void CPushDoc::OnEvalDislike() { EvalSelected(2); }
void CPushDoc::OnEvalSoso() { EvalSelected(3); }
void CPushDoc::OnEvalLike() { EvalSelected(4); }
void CPushDoc::OnEvalFond() { EvalSelected(5); }

void CPushDoc::OnPushingGuide() {
  OP_BEGIN("CPushDoc::OnPushingGuide")
  CIntfDB* db = CIntfDB::GetInstance();
  CEvalDoc* eval = CEvalDoc::GetInstance();
  if (m_ulBulletinGID != 0) {
    CRecord rec;
    db->GetOneRecordData(m_ulBulletinGID, &rec);
    if (rec.GetEval() > 0) {
      eval->EvalRecord(rec.GetGID(), rec.GetEval(), 0, nullptr);
    } else {
      eval->MakeSureEval(rec);
    }
    return;
  }
  CGIDList ids;
  db->GetGIDList(0, &ids, 1);
  CRecord last;
  for (RecordGID gid : ids) {
    last = CRecord();
    db->GetOneRecordData(gid, &last);
    if (last.GetEval() > 0) {
      RepeatEval();
      return;
    }
  }
  eval->MakeSureEval(last);
  OP_END
}

void CPushDoc::RepeatEval() {
  OP_BEGIN("CPushDoc::RepeatEval")
  RecordGID ulGID = 0;
  int iEval = 0;
  CConfigDoc::GetInstance()->LoadLastEvalRecord(&ulGID, &iEval);
  if (ulGID == 0 || iEval == 0) {
    ZTRACE(1, zenuOpName_, "获取上一次评价信息失败，ulGID is %u, iEval is %d", ulGID, iEval);
    return;
  }
  ZTRACE(1, zenuOpName_, "再一次发上次评价的CGI");
  Json::Value extra(Json::objectValue);
  extra["INT_IS_RMD_ALL"] = 0;
  extra["UTF8_COMMENT"] = "";
  CEvalDoc::GetInstance()->EvalRecord(ulGID, iEval, 0, &extra);
  OP_END
}

void CPushDoc::DisplayBulletin(RecordGID ulGID) {
  OP_BEGIN("CPushDoc::DisplayBulletin")
  CRecord rec;
  const bool stored = ulGID != 0 && CIntfDB::GetInstance()->GetOneRecordData(ulGID, &rec);
  m_ulBulletinGID = stored ? rec.GetGID() : 0;
  SBulletinViewData data;
  data.iType = 0;
  // No movie: the view shows its placeholder instead of a stale page.
  if (stored)
    data.strUrl = StringFormat("%s/Bulletin?strAction=View&iMovieID=%u",
                               CProcessValues::GetLocalSrvBaseUrl().c_str(), rec.GetGID());
  if (m_pBulletinView) m_pBulletinView->OnBulletinViewUpdate(data);
  OP_END
}

void CPushDoc::FindAndDisplayMovie(RecordGID ulGID) {
  OP_BEGIN("CPushDoc::FindAndDisplayMovie")
  CRecord rec;
  CIntfDB::GetInstance()->GetOneRecordData(ulGID, &rec);
  if (m_pSession) m_pSession->OnPushDocEvent(0);
  switch (rec.GetStatus()) {
    case RS_DELETED:
      ChangeDeletedEx(ulGID);
      break;
    case RS_DOWNLOADED:
      ChangeDownloadedEx(ulGID);
      break;
    case RS_DOWNLOADING:
    case RS_QUEUED:
    case RS_STOPPED:
      ChangeDownloadingEx(ulGID);
      break;
    case RS_NEW:
      ChangeNewTaskEx(ulGID);
      break;
    case RS_THUNDER:
      ChangeThunderTaskEx(ulGID);
      break;
    default:
      break;
  }
  DisplayBulletin(ulGID);
  OP_END
}

void CPushDoc::PromptUsage() {
  OP_BEGIN("CPushDoc::PromptUsage")
  // Once shown (or skipped), the hint stays quiet for the rest of the run.
  if (m_bPromptUsageDone) return;
  m_bPromptUsageDone = 1;
  CConfigDoc* config = CConfigDoc::GetInstance();
  if (config->LoadUserConfigItem("Prompt", "Usuage") == "1") return;
  CPromptDialog dialog;
  if (dialog.DoModal() != IDOK) config->SaveUserConfigItem("Prompt", "Usuage", "1");
  OP_END
}
