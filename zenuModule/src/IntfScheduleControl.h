#pragma once
#include "ScheduleControl.h"

class CIntfScheduleControl final : public CScheduleControl {
 public:
  static CIntfScheduleControl* GetInstance();
  static void ResetInstance();

 private:
  CIntfScheduleControl() = default;
};
