#pragma once
#include "Singleton.h"
#include "TemplTimerCaller.h"

class CIntfTimerControl final : public TSingleton<CIntfTimerControl> {
  friend class TSingleton<CIntfTimerControl>;

 public:
  BOOL Register(CTemplTimerCaller* caller, int seconds, int count);
  BOOL UnRegister(CTemplTimerCaller* caller);

 private:
  CIntfTimerControl() = default;
};
