#pragma once
#include <functional>

#include "zenuModule/src/TemplTimerCaller.h"

// The session's periodic look at the local web server component: each tick
// asks whether it still runs (the session controller restarts it when not).
class CLocalSrvWatch final : public CTemplTimerCaller {
 public:
  static constexpr int kIntervalSeconds = 2;
  // At most this many restarts within the window (counted in ticks).
  static constexpr int kMaxRestarts = 3;
  static constexpr long kWindowTicks = 60 / kIntervalSeconds;

  explicit CLocalSrvWatch(std::function<void()> onTick) : m_onTick(std::move(onTick)) {}
  void TimerCallBack() override {
    ++m_lTicks;
    m_onTick();
  }
  long Ticks() const { return m_lTicks; }

 private:
  std::function<void()> m_onTick;
  long m_lTicks = 0;
};
