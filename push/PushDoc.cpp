#include "push/PushDoc.h"

#include <initializer_list>

#include "eval/EvalDoc.h"
#include "settings/ConfigDoc.h"
#include "store/IntfDB.h"
#include "zenuModule/src/IntfUpdateControl.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/TimerControl.h"

CPushDoc::CPushDoc() {
  for (auto& sel : m_arrCategorySel) sel = std::make_shared<std::vector<uint32_t>>();
}

CPushDoc::~CPushDoc() {
  // A pending hint must not fire on a destroyed engine.
  if (CTimerControl::HasInstance()) {
    CTimerControl* timers = CTimerControl::GetInstance();
    for (CTemplTimerCaller* caller : std::initializer_list<CTemplTimerCaller*>{
             &m_callerPromptUsage, &m_btTimer, &m_waitStartingDownload})
      if (timers->IsRegistered(caller)) caller->UnRegisterTimer();
  }
  if (m_bUpdateRegistered && CIntfUpdateControl::HasInstance())
    CIntfUpdateControl::GetInstance()->UnRegister(this);
  // The services outlive a replaced engine; they must not call into it.
  if (CEvalDoc::HasInstance() && CEvalDoc::GetInstance()->GetEventSink() == this)
    CEvalDoc::GetInstance()->SetEventSink(nullptr);
  if (CConfigDoc::HasInstance() && CConfigDoc::GetInstance()->GetPushMethodSink() == this)
    CConfigDoc::GetInstance()->SetPushMethodSink(nullptr);
}
