// The download status machine: every change of a record's download state
// passes TaskStatusMachine; one BitTorrent download runs at a time.
#include <json/value.h>

#include <algorithm>
#include <ctime>

#include "prompt/PromptMgrDoc.h"
#include "push/PushDoc.h"
#include "settings/ConfigDoc.h"
#include "store/IntfDB.h"
#include "zenuModule/src/COMOBJDriver.h"
#include "zenuModule/src/CmdParams.h"
#include "zenuModule/src/HTTPDownLoadDoc.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
// Message boxes inside the poll run nested loops in which further ticks arrive.
int g_bInBTPoll = 0;

// The holder of the downloader's name last told to the user.
CString g_strShownHolder;

// Who holds the downloader's name; empty when it cannot be told.
CString HolderText(const CBTDownload& bt) {
  return bt.NameHeldByOther() ? DescribeHolder(CBTDownload::kProgID) : CString();
}

const char kComponentGone[] = "Vadeko下载进程意外退出，下载已停止。可以重新开始下载";

// Only the status changes: the downloader, the counters and the list stay as they are.
void SetStoredStatus(RecordGID ulGID, int32_t eStatus) {
  CRecord rec;
  CIntfDB::GetInstance()->GetOneRecordData(ulGID, &rec);
  rec.SetStatus(eStatus);
  CIntfDB::GetInstance()->UpdateRecord(rec);
}

}  // namespace

void CDownloaderRetry::TimerCallBack() {
  // The first record still waiting: the user may have stopped some meanwhile.
  CGIDList queue;
  CIntfDB::GetInstance()->GetGIDList(RS_QUEUED, &queue, 1);
  if (!queue.empty())
    CPushDoc::GetInstance()->TaskStatusMachine(static_cast<int>(queue.front()), TE_START, nullptr);
}

void CPushDoc::WaitForDownloader(CRecord rec) {
  OP_BEGIN("CPushDoc::WaitForDownloader")
  // The record waits in the queue; while another process holds the name the
  // downloader is asked for every few seconds, so the download starts soon
  // after the name comes free.
  rec.SetStatus(RS_QUEUED);
  CIntfDB::GetInstance()->UpdateRecord(rec);
  OnChangeDownloading();
  m_downloaderRetry.UnRegisterTimer();
  // Only a held name is waited for: a component that cannot start is not
  // started again and again (each try may wait for it seconds).
  if (!m_btDownload.NameHeldByOther()) {
    ShowMessageBox("Vadeko下载组件无法启动，电影已排队。可以稍后重新开始下载");
    return;
  }
  m_downloaderRetry.RegisterTimer(CDownloaderRetry::kSeconds, 1);
  // Said once for each holder, not at every try.
  const CString holder = HolderText(m_btDownload);
  if (holder == g_strShownHolder) return;
  g_strShownHolder = holder;
  ShowMessageBox(
      StringFormat("Vadeko下载组件的名称“%s”正被另一个程序占用：%s。这个程序不是Vadeko启动的，"
                   "下载不会交给它。电影已排队，该程序退出后下载会自动开始",
                   CBTDownload::kProgID, holder.empty() ? "未知进程" : holder.c_str()));
  OP_END
}

void CBTTimerCaller::TimerCallBack() { CPushDoc::GetInstance()->OnBTTimerCallerEvent(); }

void CWaitStartingDownload::TimerCallBack() {
  CPushDoc::GetInstance()->TaskStatusMachine(m_ulGID, TE_START, nullptr);
}

void CPushDoc::TaskStatusMachine(RecordGID ulGID, int event, const Json::Value* data) {
  OP_BEGIN("CPushDoc::TaskStatusMachine")
  CRecord rec;
  CIntfDB::GetInstance()->GetOneRecordData(ulGID, &rec);
  const time_t now = time(nullptr);
  switch (rec.GetStatus()) {
    case RS_DELETED:
      if (event == TE_START) StartDownload(rec);
      if (event == TE_THUNDER) RunningThunder(rec, data);
      break;
    case RS_DOWNLOADED:
      if (event == TE_DELETE) DeleteRecord(rec);
      if (event == TE_OPEN) OpenSource(ulGID);
      break;
    case RS_DOWNLOADING:
      switch (event) {
        case TE_STOP:
          _StopRecord(rec);
          DownloadNext();
          break;
        case TE_REFRESH:
          DownloadingData(rec);
          break;
        case TE_DELETE:
          _StopRecord(rec);
          DeleteRecord(rec);
          DownloadNext();
          break;
        case TE_THUNDER:
          _StopRecord(rec);
          RunningThunder(rec, data);
          DownloadNext();
          break;
        case TE_TO_STOPPED:
          ChangeStopStat(ulGID);
          break;
        case TE_TO_QUEUED:
          ChangeQueueingStat(ulGID);
          break;
        default:
          break;
      }
      break;
    case RS_QUEUED:
      if (event == TE_STOP) UpdateStopData(rec);
      if (event == TE_START) StartDownload(rec);
      if (event == TE_DELETE) DeleteRecord(rec);
      if (event == TE_THUNDER) RunningThunder(rec, data);
      if (event == TE_TO_STOPPED) ChangeStopStat(ulGID);
      break;
    case RS_STOPPED:
      if (event == TE_START) StartDownload(rec);
      if (event == TE_DELETE) DeleteRecord(rec);
      if (event == TE_THUNDER) RunningThunder(rec, data);
      if (event == TE_TO_QUEUED) ChangeQueueingStat(ulGID);
      break;
    case RS_NEW:
      if (event == TE_START) {
        rec.SetStartDownloadTime(now);
        StartDownload(rec);
      }
      if (event == TE_DELETE) DeleteRecord(rec);
      if (event == TE_THUNDER) RunningThunder(rec, data);
      break;
    case RS_THUNDER:
      if ((event == TE_START || event == TE_DELETE) && m_handOffs) m_handOffs->Disarm(rec.GetGID());
      if (event == TE_START) StartDownload(rec);
      if (event == TE_DELETE) DeleteRecord(rec);
      if (event == TE_THUNDER) RunningThunder(rec, data);
      if (event == TE_OPEN && IsHandOffComplete(rec)) OpenHandOff(rec);
      break;
    default:
      break;
  }
  OP_END
}

CString CPushDoc::TorrentFolder(RecordGID ulGID) {
  return StringFormat("%sdata/%u", GetExePath(0).c_str(), ulGID);
}

bool CPushDoc::FetchTorrent(const CRecord& rec, CString& strTorrentFile) {
  OP_BEGIN("CPushDoc::FetchTorrent")
  const CString folder = TorrentFolder(rec.GetGID());
  strTorrentFile = StringFormat("%s/%u.torrent", folder.c_str(), rec.GetGID());
  if (PathExists(strTorrentFile)) return true;
  return CHTTPDownLoadDoc::GetInstance()->DownFile(rec.GetBTSeedUrl(), strTorrentFile) == 1;
  OP_END
}

void CPushDoc::StartDownload(CRecord rec) {
  OP_BEGIN("CPushDoc::StartDownload")
  if (rec.GetFetchMethod() == 5) {
    ShowMessageBox("该电影是迅雷专用下载资源，将启动迅雷进行下载");
    RunningThunder(rec, nullptr);
    return;
  }
  if (rec.GetFetchMethod() != 1) {
    ShowMessageBox("未知的资源下载类型,无法下载");
    return;
  }
  // A component that failed once is made again rather than left unusable.
  if (m_bBTCreated && m_btDownload.GetState() != 1) m_bBTCreated = FALSE;
  if (!m_bBTCreated) {
    try {
      m_btDownload.CreateInstance();
    } catch (CException* e) {
      // Tried again every few seconds: a holder told of is not logged again.
      if (m_btDownload.NameHeldByOther() && HolderText(m_btDownload) == g_strShownHolder)
        e->Delete();
      else
        LogAndDeleteException(e);
      WaitForDownloader(rec);
      return;
    }
    m_bBTCreated = TRUE;
    g_strShownHolder.clear();
  }
  if (m_iRunningCount >= 1) {
    rec.SetStatus(RS_QUEUED);
    CIntfDB::GetInstance()->UpdateRecord(rec);
    OnChangeDownloading();
    return;
  }
  CString torrent;
  if (!FetchTorrent(rec, torrent)) {
    ShowMessageBox("找不到torrent文件,无法启动下载");
    return;
  }
  m_ulDownloadingGID = rec.GetGID();
  const CString args = CBTDownload::ArgLine(torrent, rec.GetLocalAbsPath());
  ZTRACE(1, zenuOpName_, "下载参数 %s", args.c_str());
  BOOL started = FALSE;
  try {
    started = m_btDownload.StartBT(args);
  } catch (CException* e) {
    // The driver has shown its message; the program goes on and the next
    // start makes the component again.
    LogAndDeleteException(e);
    m_bBTCreated = FALSE;
    return;
  }
  if (!started) {
    ShowMessageBox("启动下载失败");
    return;
  }
  rec.SetStatus(RS_DOWNLOADING);
  rec.SetDownloadingTime(time(nullptr));
  CIntfDB::GetInstance()->UpdateRecord(rec);
  ++m_iRunningCount;
  OnChangeDownloading();
  if (!CTimerControl::GetInstance()->IsRegistered(&m_btTimer)) m_btTimer.RegisterTimer(1, 0);
  OP_END
}

void CPushDoc::OnBTTimerCallerEvent() {
  if (g_bInBTPoll) return;
  g_bInBTPoll = 1;
  try {
    const int percent = static_cast<int>(m_btDownload.GetPercent());
    if (percent >= 0) {
      TaskStatusMachine(m_ulDownloadingGID, TE_REFRESH, nullptr);
    } else {
      m_btTimer.UnRegisterTimer();
      const CString text = m_btDownload.GetLastError();
      TaskStatusMachine(m_ulDownloadingGID, TE_STOP, nullptr);
      ShowMessageBox(text);
    }
  } catch (CException* e) {
    // Logged, and the next tick polls again; a component that no longer
    // answers ends the download instead of reading as 0 percent.
    LogAndDeleteException(e);
    if (m_btDownload.GetState() != 1 && m_ulDownloadingGID != kReservedGID) {
      try {
        StopOnDownloaderError(kComponentGone);
      } catch (CException* e2) {
        LogAndDeleteException(e2);
      }
    }
  }
  g_bInBTPoll = 0;
}

void CPushDoc::StopOnDownloaderError(const CString& strError) {
  OP_BEGIN("CPushDoc::StopOnDownloaderError")
  m_btTimer.UnRegisterTimer();
  m_bBTCreated = FALSE;
  TaskStatusMachine(m_ulDownloadingGID, TE_STOP, nullptr);
  ShowMessageBox(strError);
  OP_END
}

void CPushDoc::DownloadingData(CRecord rec) {
  OP_BEGIN("CPushDoc::DownloadingData")
  if (_RefreshDownloadingData(rec)) {
    DonwloadFinish(rec);
    DownloadNext();
  }
  OP_END
}

BOOL CPushDoc::_RefreshDownloadingData(CRecord rec) {
  OP_BEGIN("CPushDoc::_RefreshDownloadingData")
  rec.SetDownloadedPercent(m_btDownload.GetPercent());
  rec.SetLeftTime(m_btDownload.GetLeftTime());
  rec.SetPeerConn(m_btDownload.GetPeerConnNum());
  rec.SetRate(m_btDownload.GetDownloadRate());
  rec.SetTrackerInfo(m_btDownload.GetOtherRunInfo(1));
  const bool finished = 100 - rec.GetDownloadedPercent() <= 0.00000001;
  if (finished) {
    rec.SetStatus(RS_DOWNLOADED);
    // Sharing offers the movies finished last first.
    rec.SetFinishedTime(time(nullptr));
  }
  CIntfDB::GetInstance()->UpdateRecord(rec);
  if (finished) {
    m_ulDownloadingGID = kReservedGID;
    ForgetStream();
    return TRUE;
  }
  RefreshStreamUrl();
  RefreshRecord(rec.GetGID());
  return FALSE;
  OP_END
}

void CPushDoc::DonwloadFinish(CRecord rec) {
  OP_BEGIN("CPushDoc::DonwloadFinish")
  OnChangeDownloading();
  CPromptMgrDoc* prompts = CPromptMgrDoc::GetInstance();
  prompts->ShowPrompt(0, StringFormat("电影:\"%s\"下载已经完成", rec.GetTaskDisplayName().c_str()),
                      "");
  prompts->SetCloseBallonEvent(2);
  m_ulLastFinishedGID = rec.GetGID();
  m_btDownload.Exit();
  m_iRunningCount = std::max(0, m_iRunningCount - 1);
  // The downloader has closed the files: the sharing side may open them.
  m_shareKeeper.Offer(rec.GetGID());
  OP_END
}

void CPushDoc::DownloadNext() {
  OP_BEGIN("CPushDoc::DownloadNext")
  CGIDList queue;
  CIntfDB::GetInstance()->GetGIDList(RS_QUEUED, &queue, 1);
  if (queue.empty() || m_iRunningCount != 0) return;
  CRecord rec;
  CIntfDB::GetInstance()->GetOneRecordData(queue.front(), &rec);
  StartDownload(rec);
  OP_END
}

void CPushDoc::_StopRecord(CRecord rec) {
  OP_BEGIN("CPushDoc::_StopRecord")
  m_btDownload.Exit();
  m_btTimer.UnRegisterTimer();
  m_iRunningCount = std::max(0, m_iRunningCount - 1);
  UpdateStopData(rec);
  OP_END
}

void CPushDoc::UpdateStopData(CRecord rec) {
  OP_BEGIN("CPushDoc::UpdateStopData")
  if (rec.GetStatus() == RS_DOWNLOADING) m_ulDownloadingGID = kReservedGID;
  ForgetStream();
  rec.SetStatus(RS_STOPPED);
  rec.SetRate(-0.1);
  rec.SetTrackerInfo("");
  CIntfDB::GetInstance()->UpdateRecord(rec);
  RefreshRecord(rec.GetGID());
  OP_END
}

void CPushDoc::ChangeStopStat(RecordGID ulGID) {
  OP_BEGIN("CPushDoc::ChangeStopStat")
  SetStoredStatus(ulGID, RS_STOPPED);
  OP_END
}

void CPushDoc::ChangeQueueingStat(RecordGID ulGID) {
  OP_BEGIN("CPushDoc::ChangeQueueingStat")
  SetStoredStatus(ulGID, RS_QUEUED);
  OP_END
}

void CPushDoc::AutoStartDownload() {
  OP_BEGIN("CPushDoc::AutoStartDownload")
  CIntfDB* db = CIntfDB::GetInstance();
  if (CConfigDoc::GetInstance()->GetAutoDownload()) {
    CGIDList left;
    db->GetGIDList(RS_DOWNLOADING, &left, 0);
    RecordGID first = kReservedGID;
    if (left.empty()) {
      CGIDList queue;
      db->GetGIDList(RS_QUEUED, &queue, 0);
      if (!queue.empty()) first = queue.front();
    } else {
      first = left.front();
      for (RecordGID gid : left) TaskStatusMachine(gid, TE_TO_QUEUED, nullptr);
    }
    if (first == kReservedGID) return;
    if (CCmdParams::GetInstance()->GetIsAuto()) {
      m_waitStartingDownload.SetProcessGID(first);
      m_waitStartingDownload.RegisterTimer(60, 1);
    } else {
      TaskStatusMachine(first, TE_START, nullptr);
    }
    return;
  }
  CGIDList group;
  db->GetGIDList(RS_DOWNLOADING, &group, 1);
  for (RecordGID gid : group) TaskStatusMachine(gid, TE_TO_STOPPED, nullptr);
  db->SaveDB();
  OP_END
}

void CPushDoc::OnDownloadRecord() {
  OP_BEGIN("CPushDoc::OnDownloadRecord")
  const std::vector<RecordGID> sel = m_arrSelectedGIDs;
  if (sel.size() >= 2) {
    ShowMessageBox("请选择单个电影下载");
    return;
  }
  if (sel.size() == 1) TaskStatusMachine(static_cast<int>(sel.front()), TE_START, nullptr);
  OP_END
}

void CPushDoc::OnStopRecord() {
  OP_BEGIN("CPushDoc::OnStopRecord")
  // The machine may reload the list, and with it the selection.
  const std::vector<RecordGID> sel = m_arrSelectedGIDs;
  for (RecordGID gid : sel) TaskStatusMachine(gid, TE_STOP, nullptr);
  OP_END
}

void CPushDoc::StopRefreshRecord() {
  OP_BEGIN("CPushDoc::StopRefreshRecord")
  if (CTimerControl::HasInstance() && CTimerControl::GetInstance()->IsRegistered(&m_btTimer))
    m_btTimer.UnRegisterTimer();
  OP_END
}

void CPushDoc::CloseBTCOM() {
  OP_BEGIN("CPushDoc::CloseBTCOM")
  if (CTimerControl::HasInstance() &&
      CTimerControl::GetInstance()->IsRegistered(&m_downloaderRetry))
    m_downloaderRetry.UnRegisterTimer();
  ForgetStream();
  m_btDownload.Exit();
  m_btDownload.DestroyInstance();
  if (m_handOffs) m_handOffs->DisarmAll();
  m_shareKeeper.Stop();
  ZTRACE(1, zenuOpName_, "关闭了bt com");
  OP_END
}
