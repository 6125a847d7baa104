#pragma once
#include <chrono>
#include <functional>
#include <libtorrent/session.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ResumeFile.h"
#include "SourcePolicy.h"
#include "StreamServer.h"
#include "WebSeedGate.h"

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
  // Ends the current download: the files are written out and closed and the
  // resume data saved before it returns; what is on disk stays.
  void Stop();
  std::string LastError() const { return m_lastError; }
  // kind 1: the state of the transfer and its sources; kind 2: how the
  // download began, "resumed" or "checked: <why>"; kind 3: the loopback
  // address the movie file streams from, once its start can be served.
  std::string OtherRunInfo(int kind);
  // Once a second: libtorrent's alerts, the disk guard every few seconds and
  // the resume data every half minute.
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
  std::unique_ptr<lt::add_torrent_params> FetchResumeData();
  bool ResumeDataWorthKeeping(const lt::torrent_status& status) const;
  void SaveResumeWhileRunning();
  // false, with the download paused and the error set, when the disk is too full.
  bool GuardRoom();
  // Pauses the download where it is, for good.
  void Halt();
  // A piece failed its check: its sources are given another chance; one the
  // web seeds alone sent, a few times, then the download ends with an error.
  void OnBadPiece();
  // Removes the web seeds (redirects among them) the policy refuses.
  void DropRefusedWebSeeds();
  // Puts back the torrent's web seeds that libtorrent dropped for a bad piece.
  void RestoreWebSeeds();
  // Lets the web seeds in or out as the peers deliver (see CWebSeedGate).
  void GateWebSeeds();
  void AddWebSeeds();

  lt::session m_session;
  lt::torrent_handle m_handle;
  std::shared_ptr<const lt::torrent_info> m_info;
  std::unique_ptr<CResumeFile> m_resume;
  // Dies with the download: before its handle goes, and on a failure.
  std::unique_ptr<CStreamServer> m_stream;
  CSourcePolicy m_policy;
  std::shared_ptr<CRefusedSources> m_refused;
  std::string m_saveFolder;   // as libtorrent has it: no link on the way
  std::string m_shownFolder;  // as the client named it
  bool m_failed = false;
  bool m_fileError = false;
  bool m_complete = false;
  std::string m_lastError;
  std::string m_startInfo;

  int m_flushes = 0;  // libtorrent's answers to flushes of this download
  int m_flushBase = 0;
  bool m_finishFlushAsked = false;
  Clock::time_point m_flushAskedAt;
  std::unique_ptr<lt::add_torrent_params> m_resumeData;
  int m_resumeAsks = 0;  // of this download
  int m_resumeAnswers = 0;
  bool m_removed = false;
  Clock::time_point m_nextGuard;
  Clock::time_point m_nextResumeSave;
  int m_badPieces = 0;  // those only the web seeds can have sent
  bool m_sawBadPiece = false;
  // The torrent's web seeds the policy allows; on the download only while
  // the gate is open.
  std::vector<std::string> m_webSeeds;
  std::optional<CWebSeedGate> m_gate;
};
