#pragma once
#include <chrono>
#include <functional>
#include <libtorrent/session.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <map>
#include <string>

// Seeds the movies the client finished, many at a time, on a session of its
// own. Only files whose resume data says they are complete are offered, and
// none is ever written: the torrents are upload-only and keep no resume data.
class CBTShare final {
 public:
  CBTShare();
  // Closes every shared torrent as Unshare does.
  ~CBTShare();
  CBTShare(const CBTShare&) = delete;
  CBTShare& operator=(const CBTShare&) = delete;

  // argLine as a download takes it. True when shared now or already;
  // otherwise false with the reason in LastError().
  bool Share(unsigned gid, const std::string& argLine);
  // Returns once the files of gid are closed; false when it was not shared.
  bool Unshare(unsigned gid);
  // KB/s, 0 for none. Peers on the local network are not held to it.
  bool SetUploadLimit(int kbps);
  bool SetMaxShared(int count);
  int SharedCount() const { return static_cast<int>(m_shared.size()); }
  // Bytes per second sent to peers, over every shared torrent.
  std::int64_t UploadRate();
  std::string LastError() const { return m_lastError; }
  void UnshareAll();
  // Once a second: a torrent whose files went wrong is no longer shared.
  void Tick();

 private:
  using Clock = std::chrono::steady_clock;
  struct SShared {
    lt::torrent_handle handle;
    bool flushed = false;
    bool removed = false;
  };

  bool Fail(const std::string& error);
  void Close(SShared& shared);
  bool WaitFor(const std::function<bool()>& done, int ms);
  void PollAlerts();

  lt::session m_session;
  std::map<unsigned, SShared> m_shared;
  int m_maxShared;
  // The service and tracker the session's IP filter was made for.
  std::string m_sources;
  bool m_listening = false;
  std::string m_lastError;
};
