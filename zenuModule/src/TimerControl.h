#pragma once
#include <deque>
#include <unordered_map>

#include "Singleton.h"
#include "TemplTimerCaller.h"

struct STimerInfo {
  CTemplTimerCaller* pCaller = nullptr;
  int iCount = 0;  // calls after which the timer ends; 0 or less = no limit
  int iCurCount = 0;
  unsigned int uiPeriod = 0;  // milliseconds
};

class CTimerControl : public TSingleton<CTimerControl> {
  friend class TSingleton<CTimerControl>;

 public:
  static constexpr unsigned kFirstId = 1000;
  static constexpr unsigned kLastId = 1200;

  ~CTimerControl();
  CTimerControl(const CTimerControl&) = delete;
  CTimerControl& operator=(const CTimerControl&) = delete;

  BOOL Register(CTemplTimerCaller* caller, int seconds, int count);
  BOOL UnRegister(CTemplTimerCaller* caller);
  void InitTimer();
  unsigned int AddTimerInfo(CTemplTimerCaller* caller, int seconds, int count);
  void StartTimer(unsigned int id);
  void RemoveTimer(unsigned int id);
  void PrepRemoveTimer(unsigned int id);
  void CheckTimerOver(unsigned int id);
  void OnTimer(unsigned int id);
  void Callback(CTemplTimerCaller* caller);

  size_t GetTimerCount() const { return m_mapTimer.size(); }
  bool IsRegistered(const CTemplTimerCaller* caller) const;

 protected:
  CTimerControl() = default;

 private:
  std::unordered_map<unsigned int, STimerInfo> m_mapTimer;
  std::deque<unsigned int> m_freeIds;
  bool m_bWindowCreated = false;
};
