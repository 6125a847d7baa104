#pragma once
#include <libtorrent/session.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <string>

// One download at a time on a libtorrent session. Every failure is kept as the
// last error and shows as a negative percentage until the next start or stop.
class CBTEngine final {
 public:
  CBTEngine();
  ~CBTEngine();
  CBTEngine(const CBTEngine&) = delete;
  CBTEngine& operator=(const CBTEngine&) = delete;

  bool IsRunning() const { return m_handle.is_valid(); }
  // false when the download could not be started (see LastError()).
  bool Start(const std::string& argLine);
  // 0 to 100; -1 on an error.
  double Percent();
  // Seconds to go at the current rate; 0 when done, -1 when unknown.
  int LeftTime();
  int PeerCount();
  double RateKB();
  // Ends the current download, keeping what is on disk.
  void Stop();
  std::string LastError() const { return m_lastError; }
  // kind 1: the state of the transfer and its sources.
  std::string OtherRunInfo(int kind);
  // Drains libtorrent's alerts, keeping the errors among them.
  void PollAlerts();

 private:
  void Fail(const std::string& error);
  bool Refresh(lt::torrent_status& status);

  lt::session m_session;
  lt::torrent_handle m_handle;
  bool m_failed = false;
  std::string m_lastError;
};
