#pragma once
#include "Types.h"

// Base of every object that wants periodic calls on the user-interface thread.
class CTemplTimerCaller {
 public:
  virtual ~CTemplTimerCaller() = default;
  virtual void TimerCallBack() = 0;

  BOOL RegisterTimer(int seconds, int count);
  BOOL UnRegisterTimer();
};
