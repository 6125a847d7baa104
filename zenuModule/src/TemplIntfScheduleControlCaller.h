#pragma once
#include "Types.h"

class CTemplIntfScheduleControlCaller {
 public:
  virtual ~CTemplIntfScheduleControlCaller() = default;
  virtual int OnIntfScheduleControlEvent(int iEvent, CString* pstr) = 0;
};
