#include "TimerControl.h"

#include "IntfTimerControl.h"
#include "Log.h"
#include "OperationWrapper.h"
#include "desktop/MessageLoop.h"
#include "desktop/Platform.h"

BOOL CTemplTimerCaller::RegisterTimer(int seconds, int count) {
  OP_BEGIN("CTemplTimerCaller::RegisterTimer")
  return CIntfTimerControl::GetInstance()->Register(this, seconds, count);
  OP_END
}

BOOL CTemplTimerCaller::UnRegisterTimer() {
  OP_BEGIN("CTemplTimerCaller::UnRegisterTimer")
  return CIntfTimerControl::GetInstance()->UnRegister(this);
  OP_END
}

BOOL CIntfTimerControl::Register(CTemplTimerCaller* caller, int seconds, int count) {
  OP_BEGIN("CIntfTimerControl::Register")
  return CTimerControl::GetInstance()->Register(caller, seconds, count);
  OP_END
}

BOOL CIntfTimerControl::UnRegister(CTemplTimerCaller* caller) {
  OP_BEGIN("CIntfTimerControl::UnRegister")
  return CTimerControl::GetInstance()->UnRegister(caller);
  OP_END
}

CTimerControl::~CTimerControl() {
  if (IMessageLoop* loop = CPlatform::Loop()) {
    for (const auto& entry : m_mapTimer) loop->StopTimer(entry.first);
  }
}

bool CTimerControl::IsRegistered(const CTemplTimerCaller* caller) const {
  for (const auto& entry : m_mapTimer) {
    if (entry.second.pCaller == caller) return true;
  }
  return false;
}

BOOL CTimerControl::Register(CTemplTimerCaller* caller, int seconds, int count) {
  OP_BEGIN("CTimerControl::Register")
  InitTimer();
  const unsigned int id = AddTimerInfo(caller, seconds, count);
  if (id == 0) return FALSE;
  StartTimer(id);
  return TRUE;
  OP_END
}

BOOL CTimerControl::UnRegister(CTemplTimerCaller* caller) {
  OP_BEGIN("CTimerControl::UnRegister")
  for (const auto& entry : m_mapTimer) {
    if (entry.second.pCaller == caller) {
      RemoveTimer(entry.first);
      return TRUE;
    }
  }
  return FALSE;
  OP_END
}

void CTimerControl::InitTimer() {
  OP_BEGIN("CTimerControl::InitTimer")
  if (!CPlatform::IsMainWindowCreated()) RAISE_ERROR("MainFrame未创建不能使用TimerControl");
  if (m_bWindowCreated) return;
  m_freeIds.clear();
  for (unsigned int id = kFirstId; id <= kLastId; ++id) m_freeIds.push_back(id);
  if (!CPlatform::Loop()) RAISE_ERROR("CTimerControl init failed");
  m_bWindowCreated = true;
  OP_END
}

unsigned int CTimerControl::AddTimerInfo(CTemplTimerCaller* caller, int seconds, int count) {
  OP_BEGIN("CTimerControl::AddTimerInfo")
  if (IsRegistered(caller)) {
    ZTRACE(0, "CTimerControl::AddTimerInfo", "调用对象已经有注册过时钟了");
    return 0;
  }
  if (m_freeIds.empty()) {
    ZTRACE(0, "CTimerControl::AddTimerInfo", "已经没有时钟事件可以注册了");
    return 0;
  }
  const unsigned int id = m_freeIds.front();
  m_freeIds.pop_front();
  STimerInfo info;
  info.pCaller = caller;
  info.iCount = count;
  info.iCurCount = 0;
  info.uiPeriod = static_cast<unsigned int>(seconds) * 1000u;
  m_mapTimer[id] = info;
  return id;
  OP_END
}

void CTimerControl::StartTimer(unsigned int id) {
  OP_BEGIN("CTimerControl::StartTimer")
  const auto it = m_mapTimer.find(id);
  if (it == m_mapTimer.end()) return;
  CPlatform::Loop()->StartTimer(id, it->second.uiPeriod, [this, id] { OnTimer(id); });
  OP_END
}

void CTimerControl::RemoveTimer(unsigned int id) {
  OP_BEGIN("CTimerControl::RemoveTimer")
  if (IMessageLoop* loop = CPlatform::Loop()) loop->StopTimer(id);
  if (m_mapTimer.erase(id) > 0) m_freeIds.push_back(id);
  OP_END
}

void CTimerControl::CheckTimerOver(unsigned int id) {
  OP_BEGIN("CTimerControl::CheckTimerOver")
  auto& info = m_mapTimer.at(id);
  if (info.iCount > 0) {
    ++info.iCurCount;
    if (info.iCurCount >= info.iCount) RemoveTimer(id);
  }
  OP_END
}

void CTimerControl::PrepRemoveTimer(unsigned int id) {
  OP_BEGIN("CTimerControl::PrepRemoveTimer")
  if (m_mapTimer.find(id) == m_mapTimer.end()) {
    ZTRACE(0, "CTimerControl::PrepRemoveTimer", "找不到时钟事件");
    return;
  }
  CheckTimerOver(id);
  OP_END
}

void CTimerControl::OnTimer(unsigned int id) {
  OP_BEGIN("CTimerControl::OnTimer")
  const auto it = m_mapTimer.find(id);
  CTemplTimerCaller* caller = it == m_mapTimer.end() ? nullptr : it->second.pCaller;
  PrepRemoveTimer(id);
  if (caller) Callback(caller);
  OP_END
}

void CTimerControl::Callback(CTemplTimerCaller* caller) {
  OP_BEGIN("CTimerControl::Callback")
  caller->TimerCallBack();
  OP_END
}
