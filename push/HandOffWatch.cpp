#include "push/HandOffWatch.h"

#include <algorithm>

#include "push/TorrentFiles.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/FolderWatch.h"

class CHandOffWatch::CQuietTimer final : public CTemplTimerCaller {
 public:
  CQuietTimer(CHandOffWatch& owner, uint32_t gid) : m_owner(owner), m_gid(gid) {}
  void TimerCallBack() override { m_owner.OnQuiet(m_gid); }

 private:
  CHandOffWatch& m_owner;
  uint32_t m_gid;
};

struct CHandOffWatch::SEntry {
  SEntry(CHandOffWatch& owner, uint32_t gid) : timer(owner, gid) {}
  CString strFile;
  int64_t iLength = 0;
  // The save folder, then each folder of the torrent down to the file's own.
  std::vector<CString> arrFolders;
  CQuietTimer timer;
};

namespace {
CString WithoutTrailingSlash(CString path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool TimerRunning(const CTemplTimerCaller& timer) {
  return CTimerControl::HasInstance() && CTimerControl::GetInstance()->IsRegistered(&timer);
}
}  // namespace

CHandOffWatch::CHandOffWatch(Complete onComplete) : m_onComplete(std::move(onComplete)) {}

CHandOffWatch::~CHandOffWatch() { DisarmAll(); }

bool CHandOffWatch::Arm(uint32_t gid, const CString& torrentFile, const CString& saveFolder) {
  STorrentFile movie;
  const CString save = WithoutTrailingSlash(saveFolder);
  if (save.empty() || !TorrentMovieFile(torrentFile, movie)) return false;
  Disarm(gid);
  auto entry = std::make_unique<SEntry>(*this, gid);
  entry->strFile = save + "/" + movie.strPath;
  entry->iLength = movie.iLength;
  entry->arrFolders.push_back(save);
  for (size_t at = movie.strPath.find('/'); at != CString::npos;
       at = movie.strPath.find('/', at + 1))
    entry->arrFolders.push_back(save + "/" + movie.strPath.substr(0, at));
  FolderWatch().SetListener(
      [this](const CString& folder, const CString& name) { OnChange(folder, name); });
  SEntry& added = *entry;
  m_entries[gid] = std::move(entry);
  Check(added);
  return true;
}

void CHandOffWatch::Disarm(uint32_t gid) {
  const auto it = m_entries.find(gid);
  if (it == m_entries.end()) return;
  if (TimerRunning(it->second->timer)) it->second->timer.UnRegisterTimer();
  m_entries.erase(it);
  if (m_entries.empty()) DisarmAll();
}

void CHandOffWatch::DisarmAll() {
  for (auto& entry : m_entries)
    if (TimerRunning(entry.second->timer)) entry.second->timer.UnRegisterTimer();
  m_entries.clear();
  if (!m_watched.empty()) FolderWatch().Clear();
  m_watched.clear();
  FolderWatch().SetListener(nullptr);
}

void CHandOffWatch::OnChange(const CString& folder, const CString& name) {
  const CString path = folder + "/" + name;
  // Collected first: completing an entry removes it from the map.
  std::vector<uint32_t> touched;
  for (const auto& entry : m_entries) {
    const auto& folders = entry.second->arrFolders;
    if (name.empty() || entry.second->strFile == path ||
        std::find(folders.begin(), folders.end(), path) != folders.end())
      touched.push_back(entry.first);
  }
  for (uint32_t gid : touched) {
    const auto it = m_entries.find(gid);
    if (it != m_entries.end()) Check(*it->second);
  }
}

void CHandOffWatch::Check(SEntry& entry) {
  for (const CString& folder : entry.arrFolders) {
    if (std::find(m_watched.begin(), m_watched.end(), folder) != m_watched.end()) continue;
    if (!IsFolder(folder)) break;
    if (!FolderWatch().Add(folder)) {
      ZTRACE(1, "CHandOffWatch::Check", "无法监视目录: %s", folder.c_str());
      break;
    }
    m_watched.push_back(folder);
  }
  int64_t size = -1;
  const bool whole = RegularFileSize(entry.strFile, size) && size == entry.iLength;
  // Every change starts the quiet period again: the manager may still be writing.
  if (TimerRunning(entry.timer)) entry.timer.UnRegisterTimer();
  if (whole) entry.timer.RegisterTimer(kQuietSeconds, 1);
}

void CHandOffWatch::OnQuiet(uint32_t gid) {
  const auto it = m_entries.find(gid);
  if (it == m_entries.end()) return;
  int64_t size = -1;
  if (!RegularFileSize(it->second->strFile, size) || size != it->second->iLength) return;
  const CString file = it->second->strFile;
  Disarm(gid);
  m_onComplete(gid, file);
}
