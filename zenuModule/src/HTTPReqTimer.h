#pragma once
#include <functional>

#include "TemplTimerCaller.h"

// A timer caller that forwards its ticks (the repeat of the second update checker).
class CHTTPReqTimer final : public CTemplTimerCaller {
 public:
  explicit CHTTPReqTimer(std::function<void()> onTick) : m_onTick(std::move(onTick)) {}
  CHTTPReqTimer(const CHTTPReqTimer&) = delete;
  CHTTPReqTimer& operator=(const CHTTPReqTimer&) = delete;

  void TimerCallBack() override { m_onTick(); }

 private:
  std::function<void()> m_onTick;
};
