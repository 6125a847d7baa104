#pragma once
#include "zenuModule/src/TemplTimerCaller.h"

class IPushEngine;

// The session's network liveness check. The first time it sees the network
// come up (once per run) the push engine makes its first request.
class CNetworkStatus final : public CTemplTimerCaller {
 public:
  static constexpr int kIntervalSeconds = 6;

  void SetPushEngine(IPushEngine* push) { m_pPushEngine = push; }
  void CheckNet();
  void TimerCallBack() override { CheckNet(); }
  int GetStatus() const { return m_iStatus; }
  // The session is ending: a check still running must not start requests.
  void Stop() { m_bStopped = true; }

  // Only for tests: the once-per-run flag back to 0.
  static void ResetFirstUp();

 private:
  int m_iStatus = 0;
  int m_iLastStatus = 0;
  IPushEngine* m_pPushEngine = nullptr;
  bool m_bStopped = false;
};
