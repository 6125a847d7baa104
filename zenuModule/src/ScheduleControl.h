#pragma once
#include <memory>
#include <unordered_map>

#include "TemplIntfScheduleControlCaller.h"

// Defers events to the message loop and hands each to the one receiver of its id.
class CScheduleControl {
 public:
  virtual ~CScheduleControl() = default;
  CScheduleControl(const CScheduleControl&) = delete;
  CScheduleControl& operator=(const CScheduleControl&) = delete;

  void Register(CTemplIntfScheduleControlCaller* caller, int iEvent);
  void AddTask(int iEvent, CString* pstr);
  int OnSched(int iEvent, CString* pstr);

 protected:
  CScheduleControl() = default;
  // Posted events hold this weakly: a dropped service delivers nothing.
  std::weak_ptr<CScheduleControl> m_self;

 private:
  std::unordered_map<int, CTemplIntfScheduleControlCaller*> m_mapCaller;
};
