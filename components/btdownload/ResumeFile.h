#pragma once
#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/torrent_info.hpp>
#include <string>

// libtorrent's resume data kept next to the torrent file, so that a restart
// skips hashing what is already on disk. The file also holds the size and
// modification time of every downloaded file when it was written, and a
// checksum over both: anything changed since, and it is not trusted.
class CResumeFile final {
 public:
  explicit CResumeFile(const std::string& torrentFile);

  const std::string& Path() const { return m_path; }
  // Fills the pieces on disk into params (its ti and save_path already set).
  // False, with why in a short text, when the file is missing, unreadable,
  // of another torrent or target, or the files changed since.
  bool Load(lt::add_torrent_params& params, std::string& why) const;
  // Written whole or not at all. params: the torrent's resume data; the file
  // stamps are taken now, so the files must not change afterwards.
  bool Save(lt::add_torrent_params params, const lt::torrent_info& info,
            const std::string& savePath) const;
  void Remove() const;

 private:
  std::string m_path;
};
