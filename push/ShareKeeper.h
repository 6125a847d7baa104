#pragma once
#include <cstdint>
#include <ctime>
#include <deque>
#include <set>
#include <vector>

#include "push/BTShare.h"
#include "zenuModule/src/TemplTimerCaller.h"
#include "zenuModule/src/Types.h"

class ISession;

// Which finished movies the client keeps offering to other clients, and the
// status pane's word on it. Runs while the user is logged in and sharing is
// on: at start the newest downloaded movies up to the user's maximum, then
// each movie as its download finishes (the oldest shared one makes room).
// A movie stops being shared before its files are deleted.
class CShareKeeper final : public CTemplTimerCaller {
 public:
  static constexpr int kPollSeconds = 2;
  // A component that could not be made is asked for again this much later.
  static constexpr int kRetrySeconds = 60;
  static constexpr int kStatusPane = 4;

  CShareKeeper() = default;
  ~CShareKeeper() override;
  CShareKeeper(const CShareKeeper&) = delete;
  CShareKeeper& operator=(const CShareKeeper&) = delete;

  // After login; session: where the status pane is (may be null).
  void Start(ISession* session);
  // The download of ulGID has finished and its downloader has let go of the files.
  void Offer(RecordGID ulGID);
  // Before ulGID's files go: it is no longer shared once this returns.
  void Withdraw(RecordGID ulGID);
  // Ends sharing and the component (quit, or sharing turned off).
  void Stop();
  // The settings changed: on/off, upload limit, most movies shared.
  void ApplySettings();

  void TimerCallBack() override;

  // Newest first.
  const std::vector<RecordGID>& Shared() const { return m_shared; }
  bool IsRunning() const { return m_bRunning; }
  const CString& StatusText() const { return m_strStatus; }

 private:
  struct SPending {
    RecordGID ulGID;
    bool bFinishedNow;  // newest of all: goes first and may push out the oldest
  };
  // Queues the newest downloaded movies up to the maximum that are not shared yet.
  void Plan();
  // True when the component is there (made now if need be).
  bool EnsureComponent();
  void OfferPending();
  void OfferOne(const SPending& item);
  bool UnshareOne(RecordGID ulGID);
  void TrimToMax();
  void PollStatus();
  void SetStatus(const CString& text);
  // A failed call: the component is gone or broken; everything is planned again.
  void OnComponentFailed();
  CString ArgsFor(RecordGID ulGID, const CString& torrent, const CString& folder) const;

  ISession* m_pSession = nullptr;
  CBTShare m_share;
  bool m_bRunning = false;
  bool m_bRegistered = false;
  time_t m_tNextCreate = 0;
  int m_iPort = 0;
  std::deque<SPending> m_pending;
  std::vector<RecordGID> m_shared;
  std::set<RecordGID> m_refused;  // for this run: incomplete, missing files
  CString m_strStatus;
};
