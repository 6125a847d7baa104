#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "zenuModule/src/TemplTimerCaller.h"
#include "zenuModule/src/Types.h"

// Follows movies handed to the download manager: watches the save folder (and
// the torrent's own folder below it once it appears) for the movie's file, and
// reports a movie complete once its file has the torrent's size and has not
// changed for a few seconds. Works on file-system notifications only.
class CHandOffWatch final {
 public:
  static constexpr int kQuietSeconds = 3;
  using Complete = std::function<void(uint32_t gid, const CString& file)>;

  explicit CHandOffWatch(Complete onComplete);
  ~CHandOffWatch();
  CHandOffWatch(const CHandOffWatch&) = delete;
  CHandOffWatch& operator=(const CHandOffWatch&) = delete;

  // Starts following a record: its torrent names the file, saveFolder (GBK)
  // where the manager puts it. false when the torrent cannot be read.
  bool Arm(uint32_t gid, const CString& torrentFile, const CString& saveFolder);
  void Disarm(uint32_t gid);
  void DisarmAll();
  bool IsArmed(uint32_t gid) const { return m_entries.count(gid) > 0; }

 private:
  struct SEntry;
  class CQuietTimer;
  void OnChange(const CString& folder, const CString& name);
  // Watches the folders on the way to the file that exist now, then looks at the file.
  void Check(SEntry& entry);
  void OnQuiet(uint32_t gid);

  Complete m_onComplete;
  std::map<uint32_t, std::unique_ptr<SEntry>> m_entries;
  std::vector<CString> m_watched;
};
