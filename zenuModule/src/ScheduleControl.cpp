#include "ScheduleControl.h"

#include "IntfScheduleControl.h"
#include "OperationWrapper.h"
#include "desktop/MessageLoop.h"
#include "desktop/Platform.h"

namespace {
std::shared_ptr<CIntfScheduleControl>& Slot() {
  static std::shared_ptr<CIntfScheduleControl> instance;
  return instance;
}
}  // namespace

CIntfScheduleControl* CIntfScheduleControl::GetInstance() {
  auto& slot = Slot();
  if (!slot) {
    slot.reset(new CIntfScheduleControl);
    slot->m_self = slot;
  }
  return slot.get();
}

void CIntfScheduleControl::ResetInstance() { Slot().reset(); }

void CScheduleControl::Register(CTemplIntfScheduleControlCaller* caller, int iEvent) {
  OP_BEGIN("CScheduleControl::Register")
  m_mapCaller[iEvent] = caller;
  OP_END
}

void CScheduleControl::AddTask(int iEvent, CString* pstr) {
  OP_BEGIN("CScheduleControl::AddTask")
  IMessageLoop* loop = CPlatform::Loop();
  if (!loop) RAISE_ERROR("CScheduleControl has no message loop");
  auto text = std::make_shared<CString>(pstr ? *pstr : CString());
  std::weak_ptr<CScheduleControl> self = m_self;
  loop->Post([self, iEvent, text] {
    if (auto service = self.lock()) service->OnSched(iEvent, text.get());
  });
  OP_END
}

int CScheduleControl::OnSched(int iEvent, CString* pstr) {
  OP_BEGIN("CScheduleControl::OnSched")
  const auto it = m_mapCaller.find(iEvent);
  if (it != m_mapCaller.end() && it->second) it->second->OnIntfScheduleControlEvent(iEvent, pstr);
  return 0;
  OP_END
}
