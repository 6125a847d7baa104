// Following a movie handed to the download manager until its file is whole.
// The stored status stays RS_THUNDER; the record's fDownloadedPercent 100 says
// the file was seen complete (a handed-off record has no other use for it).
#include <ctime>

#include "prompt/PromptMgrDoc.h"
#include "push/PushDoc.h"
#include "push/TorrentFiles.h"
#include "settings/ConfigDoc.h"
#include "store/IntfDB.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/Platform.h"
#include "zenuModule/src/desktop/Shell.h"

namespace {
CString TorrentOf(uint32_t gid) {
  return StringFormat("%s/%u.torrent", CPushDoc::TorrentFolder(gid).c_str(), gid);
}
}  // namespace

bool CPushDoc::IsHandOffComplete(const CRecord& rec) {
  return rec.GetStatus() == RS_THUNDER && rec.GetDownloadedPercent() >= 100;
}

void CPushDoc::WatchHandOff(const CRecord& rec) {
  OP_BEGIN("CPushDoc::WatchHandOff")
  if (rec.GetStatus() != RS_THUNDER || IsHandOffComplete(rec)) return;
  if (!m_handOffs)
    m_handOffs = std::make_unique<CHandOffWatch>(
        [this](uint32_t gid, const CString& file) { OnHandOffComplete(gid, file); });
  const CString torrent = TorrentOf(rec.GetGID());
  // A manager-only movie has no torrent here: nothing tells its file.
  if (!PathExists(torrent)) return;
  if (!m_handOffs->Arm(rec.GetGID(), torrent, CConfigDoc::GetInstance()->GetSaveas()))
    ZTRACE(1, zenuOpName_, "无法读取种子文件，不跟踪电影%u: %s", rec.GetGID(), torrent.c_str());
  OP_END
}

void CPushDoc::WatchHandOffs() {
  OP_BEGIN("CPushDoc::WatchHandOffs")
  if (m_handOffs) m_handOffs->DisarmAll();
  CGIDList ids;
  CIntfDB::GetInstance()->GetGIDListBySql(
      StringFormat("select ulGID from records where eStatus = %d and fDownloadedPercent < 100",
                   RS_THUNDER),
      &ids);
  for (uint32_t gid : ids) {
    CRecord rec;
    if (CIntfDB::GetInstance()->GetOneRecordData(gid, &rec)) WatchHandOff(rec);
  }
  OP_END
}

CString CPushDoc::HandOffFile(const CRecord& rec) const {
  STorrentFile movie;
  if (!TorrentMovieFile(TorrentOf(rec.GetGID()), movie)) return CString();
  CString save = CConfigDoc::GetInstance()->GetSaveas();
  while (save.size() > 1 && save.back() == '/') save.pop_back();
  return save + "/" + movie.strPath;
}

void CPushDoc::OnHandOffComplete(RecordGID ulGID, const CString& strFile) {
  OP_BEGIN("CPushDoc::OnHandOffComplete")
  CRecord rec;
  // Taken back meanwhile (downloaded here, deleted): nothing to show.
  if (!CIntfDB::GetInstance()->GetOneRecordData(ulGID, &rec) || rec.GetStatus() != RS_THUNDER)
    return;
  ZTRACE(1, zenuOpName_, "下载管理器已下载完电影%u: %s", ulGID, strFile.c_str());
  rec.SetDownloadedPercent(100);
  rec.SetFinishedTime(time(nullptr));
  CIntfDB::GetInstance()->UpdateRecord(rec);
  RefreshRecord(static_cast<int>(ulGID));
  UpdateHandOffPlayButton();
  CPromptMgrDoc* prompts = CPromptMgrDoc::GetInstance();
  prompts->ShowPrompt(0, StringFormat("电影:\"%s\"下载已经完成", rec.GetTaskDisplayName().c_str()),
                      "");
  prompts->SetCloseBallonEvent(2);
  m_ulLastFinishedGID = static_cast<int>(ulGID);
  OP_END
}

void CPushDoc::OpenHandOff(const CRecord& rec) {
  OP_BEGIN("CPushDoc::OpenHandOff")
  const CString file = HandOffFile(rec);
  int64_t size = 0;
  if (file.empty() || !RegularFileSize(file, size)) {
    ShowMessageBox("找不到任何资源文件,可能被删除");
    return;
  }
  Shell().Open(file);
  OP_END
}

void CPushDoc::UpdateHandOffPlayButton() {
  if (m_iCurCategory != PC_THUNDER) return;
  CRecord rec;
  const bool playable = m_arrSelectedGIDs.size() == 1 &&
                        CIntfDB::GetInstance()->GetOneRecordData(m_arrSelectedGIDs.front(), &rec) &&
                        IsHandOffComplete(rec);
  SPushFrameData data;
  data.iType = 4;
  data.iIndex = 0;
  data.iValue = playable ? 1 : 0;
  SendPushFrame(data);
}
