#include "ShareKeeper.h"

#include <algorithm>
#include <cmath>

#include "push/BTDownload.h"
#include "push/PushDoc.h"
#include "settings/ConfigDoc.h"
#include "store/IntfDB.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PortSelect.h"
#include "zenuModule/src/Session.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/FileSystem.h"

namespace {
const char kOp[] = "CShareKeeper";

CString TorrentOf(RecordGID ulGID) {
  return StringFormat("%s/%u.torrent", CPushDoc::TorrentFolder(ulGID).c_str(), ulGID);
}
}  // namespace

CShareKeeper::~CShareKeeper() {
  if (m_bRegistered && CTimerControl::HasInstance()) UnRegisterTimer();
}

void CShareKeeper::Start(ISession* session) {
  OP_BEGIN("CShareKeeper::Start")
  m_pSession = session;
  if (m_bRunning || !CConfigDoc::GetInstance()->GetShareAfterDownload()) return;
  m_bRunning = true;
  m_refused.clear();
  m_tNextCreate = 0;
  Plan();
  if (!m_bRegistered) m_bRegistered = RegisterTimer(kPollSeconds, 0) != FALSE;
  OP_END
}

void CShareKeeper::Plan() {
  const int iMax = CConfigDoc::GetInstance()->GetMaxShared();
  if (iMax <= 0) return;
  // The movies finished last are the ones other clients are fetching now.
  CGIDList newest;
  CIntfDB::GetInstance()->GetGIDListBySql(
      StringFormat("select ulGID from records where eStatus = %d and iFetchMethod = 1 "
                   "order by tlFinishedTime desc, tlStartDownloadTime desc, ulGID desc limit %d",
                   RS_DOWNLOADED, iMax),
      &newest);
  for (uint32_t gid : newest) {
    const bool known = std::find(m_shared.begin(), m_shared.end(), gid) != m_shared.end() ||
                       m_refused.count(gid) != 0 ||
                       std::any_of(m_pending.begin(), m_pending.end(),
                                   [gid](const SPending& p) { return p.ulGID == gid; });
    if (!known) m_pending.push_back({gid, false});
  }
}

void CShareKeeper::Offer(RecordGID ulGID) {
  OP_BEGIN("CShareKeeper::Offer")
  if (!m_bRunning) return;
  m_refused.erase(ulGID);
  m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(),
                                 [ulGID](const SPending& p) { return p.ulGID == ulGID; }),
                  m_pending.end());
  m_pending.push_front({ulGID, true});
  OP_END
}

void CShareKeeper::Withdraw(RecordGID ulGID) {
  OP_BEGIN("CShareKeeper::Withdraw")
  m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(),
                                 [ulGID](const SPending& p) { return p.ulGID == ulGID; }),
                  m_pending.end());
  if (std::find(m_shared.begin(), m_shared.end(), ulGID) == m_shared.end()) return;
  UnshareOne(ulGID);
  OP_END
}

bool CShareKeeper::UnshareOne(RecordGID ulGID) {
  m_shared.erase(std::remove(m_shared.begin(), m_shared.end(), ulGID), m_shared.end());
  if (!m_share.Usable()) return true;
  try {
    if (m_share.Unshare(ulGID) != 0)
      ZTRACE(1, kOp, "Unshare(%u): %s", ulGID, m_share.GetLastError().c_str());
    else
      ZTRACE(1, kOp, "停止分享 %u", ulGID);
    return true;
  } catch (CException* e) {
    LogAndDeleteException(e);
    OnComponentFailed();
    return false;
  }
}

void CShareKeeper::Stop() {
  OP_BEGIN("CShareKeeper::Stop")
  if (m_bRegistered && CTimerControl::HasInstance()) UnRegisterTimer();
  m_bRegistered = false;
  m_bRunning = false;
  m_pending.clear();
  m_shared.clear();
  if (m_share.Usable()) {
    try {
      m_share.Exit();
    } catch (CException* e) {
      LogAndDeleteException(e);
    }
  }
  m_share.DestroyInstance();
  SetStatus("");
  OP_END
}

void CShareKeeper::ApplySettings() {
  OP_BEGIN("CShareKeeper::ApplySettings")
  CConfigDoc* config = CConfigDoc::GetInstance();
  if (!config->GetShareAfterDownload()) {
    if (m_bRunning) ZTRACE(1, zenuOpName_, "分享已关闭");
    Stop();
    return;
  }
  if (!m_bRunning) {
    Start(m_pSession);
    return;
  }
  if (m_share.Usable()) {
    try {
      m_share.SetUploadLimit(config->GetUploadLimit());
      m_share.SetMaxShared(config->GetMaxShared());
    } catch (CException* e) {
      LogAndDeleteException(e);
      OnComponentFailed();
      return;
    }
  }
  TrimToMax();
  Plan();
  OP_END
}

void CShareKeeper::TrimToMax() {
  const size_t iMax = static_cast<size_t>(std::max(0, CConfigDoc::GetInstance()->GetMaxShared()));
  while (m_shared.size() > iMax) {
    if (!UnshareOne(m_shared.back())) return;
  }
}

void CShareKeeper::TimerCallBack() {
  OP_BEGIN("CShareKeeper::TimerCallBack")
  if (!m_bRunning) return;
  if (!m_pending.empty() && EnsureComponent()) OfferPending();
  PollStatus();
  OP_END
}

bool CShareKeeper::EnsureComponent() {
  if (m_share.Usable()) return true;
  const time_t now = time(nullptr);
  if (now < m_tNextCreate) return false;
  CConfigDoc* config = CConfigDoc::GetInstance();
  try {
    m_share.CreateInstance();
    m_share.SetUploadLimit(config->GetUploadLimit());
    m_share.SetMaxShared(config->GetMaxShared());
  } catch (CException* e) {
    // Without the component the client downloads as before; nothing is
    // shared, and that is no error of the program's.
    char text[512] = {};
    e->GetErrorMessage(text, sizeof text);
    e->Delete();
    ZTRACE(1, kOp, "没有分享组件: %s", text);
    m_share.DestroyInstance();
    m_tNextCreate = now + kRetrySeconds;
    return false;
  }
  // Its own ports: the downloader keeps the configured range.
  const int configured = config->GetPort();
  m_iPort = DetectAndSelectPort(configured > 0 && configured < 65000 ? configured + 20 : 0, 1);
  return true;
}

void CShareKeeper::OfferPending() {
  while (!m_pending.empty() && m_share.Usable()) {
    const SPending item = m_pending.front();
    m_pending.pop_front();
    OfferOne(item);
  }
}

CString CShareKeeper::ArgsFor(uint32_t /*ulGID*/, const CString& torrent,
                              const CString& folder) const {
  CString args = CBTDownload::ArgLine(torrent, folder);
  args += StringFormat(" --minport %d --maxport %d", m_iPort, m_iPort + 10);
  args += CBTDownload::SourceArgs();
  return args;
}

void CShareKeeper::OfferOne(const SPending& item) {
  const uint32_t gid = item.ulGID;
  if (std::find(m_shared.begin(), m_shared.end(), gid) != m_shared.end()) return;
  CRecord rec;
  if (!CIntfDB::GetInstance()->GetOneRecordData(gid, &rec) || rec.GetStatus() != RS_DOWNLOADED ||
      rec.GetFetchMethod() != 1)
    return;
  const CString torrent = TorrentOf(gid);
  // Never fetched again for sharing: without its torrent the movie stays unshared.
  if (!PathExists(torrent) || !IsFolder(rec.GetLocalAbsPath())) {
    ZTRACE(1, kOp, "不分享 %u: 没有torrent文件或下载目录", gid);
    m_refused.insert(gid);
    return;
  }
  const size_t iMax = static_cast<size_t>(std::max(0, CConfigDoc::GetInstance()->GetMaxShared()));
  if (iMax == 0) return;
  if (m_shared.size() >= iMax) {
    if (!item.bFinishedNow) return;
    // The movie finished last is the one others are fetching now.
    if (!UnshareOne(m_shared.back())) return;
  }
  try {
    if (m_share.Share(gid, ArgsFor(gid, torrent, rec.GetLocalAbsPath())) == 0) {
      ZTRACE(1, kOp, "开始分享 %u", gid);
      if (item.bFinishedNow)
        m_shared.insert(m_shared.begin(), gid);
      else
        m_shared.push_back(gid);
    } else {
      ZTRACE(1, kOp, "不分享 %u: %s", gid, m_share.GetLastError().c_str());
      m_refused.insert(gid);
    }
  } catch (CException* e) {
    LogAndDeleteException(e);
    OnComponentFailed();
  }
}

void CShareKeeper::PollStatus() {
  if (!m_share.Usable()) {
    SetStatus("");
    return;
  }
  int count = 0;
  double kbps = 0;
  try {
    if (!m_share.GetShareStatus(&count, &kbps)) return;
  } catch (CException* e) {
    LogAndDeleteException(e);
    OnComponentFailed();
    return;
  }
  SetStatus(count > 0 ? StringFormat("正在分享 %d 部电影 ↑ %d KB/s", count,
                                     static_cast<int>(std::lround(std::min(kbps, 1e9))))
                      : CString());
}

void CShareKeeper::SetStatus(const CString& text) {
  if (text == m_strStatus) return;
  m_strStatus = text;
  if (m_pSession) m_pSession->SetStatusInfo(kStatusPane, text);
}

void CShareKeeper::OnComponentFailed() {
  m_share.DestroyInstance();
  m_shared.clear();
  m_tNextCreate = time(nullptr) + kRetrySeconds;
  SetStatus("");
  // Offered again once the component is back.
  if (m_bRunning) Plan();
}
