#pragma once
#include <chrono>
#include <functional>
#include <libtorrent/session.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>
#include <memory>
#include <string>

// One download at a time on a libtorrent session. Every failure is kept as the
// last error and shows as a negative percentage until the next start or stop.
class CBTEngine final {
 public:
  CBTEngine();
  // Ends the current download as Stop() does.
  ~CBTEngine();
  CBTEngine(const CBTEngine&) = delete;
  CBTEngine& operator=(const CBTEngine&) = delete;

  bool IsRunning() const { return m_handle.is_valid(); }
  // false when the download could not be started (see LastError()).
  bool Start(const std::string& argLine);
  // 0 to 100, and 100 only once every piece passed its check and is written
  // out; -1 on an error.
  double Percent();
  // Seconds to go at the current rate; 0 when done, -1 when unknown.
  int LeftTime();
  int PeerCount();
  double RateKB();
  // Ends the current download: the files are written out and closed before
  // it returns; what is on disk stays.
  void Stop();
  std::string LastError() const { return m_lastError; }
  // kind 1: the state of the transfer and its sources.
  std::string OtherRunInfo(int kind);
  // Once a second: libtorrent's alerts.
  void Tick();

 private:
  using Clock = std::chrono::steady_clock;

  void Fail(const std::string& error);
  bool Refresh(lt::torrent_status& status);
  void PollAlerts();
  void HandleAlert(const lt::alert* alert);
  // Handles alerts until done() or ms have passed; done()'s last answer.
  bool WaitFor(const std::function<bool()>& done, int ms);
  // Asks libtorrent to write out what it holds; true once it has.
  void AskFlush();
  bool Flushed() const { return m_flushes > m_flushBase; }

  lt::session m_session;
  lt::torrent_handle m_handle;
  bool m_failed = false;
  bool m_complete = false;
  std::string m_lastError;

  int m_flushes = 0;  // libtorrent's answers to flushes of this download
  int m_flushBase = 0;
  bool m_flushAsked = false;
  Clock::time_point m_flushAskedAt;
  bool m_removed = false;
};
