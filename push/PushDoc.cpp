#include "push/PushDoc.h"

#include "eval/EvalDoc.h"
#include "settings/ConfigDoc.h"
#include "store/IntfDB.h"
#include "zenuModule/src/IntfUpdateControl.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"

CPushDoc::CPushDoc() {
  for (auto& sel : m_arrCategorySel) sel = std::make_shared<std::vector<uint32_t>>();
}

CPushDoc::~CPushDoc() {
  // A pending hint must not fire on a destroyed engine.
  if (CTimerControl::HasInstance() && CTimerControl::GetInstance()->IsRegistered(&m_callerPromptUsage))
    m_callerPromptUsage.UnRegisterTimer();
  if (m_bUpdateRegistered && CIntfUpdateControl::HasInstance())
    CIntfUpdateControl::GetInstance()->UnRegister(this);
  // The services outlive a replaced engine; they must not call into it.
  if (CEvalDoc::HasInstance() && CEvalDoc::GetInstance()->GetEventSink() == this)
    CEvalDoc::GetInstance()->SetEventSink(nullptr);
  if (CConfigDoc::HasInstance() && CConfigDoc::GetInstance()->GetPushMethodSink() == this)
    CConfigDoc::GetInstance()->SetPushMethodSink(nullptr);
}

// Parts of the engine that live elsewhere (downloads, record commands, Thunder).
void CPushDoc::FindAndDisplayMovie(unsigned long ulGID) {
  ZTRACE(1, "CPushDoc::FindAndDisplayMovie", "not available: %lu", ulGID);
}
void CPushDoc::OnDownloadRecord() { ZTRACE(1, "CPushDoc::OnDownloadRecord", "not available"); }
void CPushDoc::OnRunningThunder() { ZTRACE(1, "CPushDoc::OnRunningThunder", "not available"); }
void CPushDoc::OnRunningThunderEx(int iFlag) {
  ZTRACE(1, "CPushDoc::OnRunningThunderEx", "not available: %d", iFlag);
}
void CPushDoc::StopRefreshRecord() { ZTRACE(1, "CPushDoc::StopRefreshRecord", "not available"); }
void CPushDoc::CloseBTCOM() { ZTRACE(1, "CPushDoc::CloseBTCOM", "not available"); }
void CPushDoc::DisplayBulletin(uint32_t ulGID) {
  ZTRACE(1, "CPushDoc::DisplayBulletin", "not available: %u", ulGID);
}
void CPushDoc::PromptUsage() { ZTRACE(1, "CPushDoc::PromptUsage", "not available"); }
void CPushDoc::AutoStartDownload() { ZTRACE(1, "CPushDoc::AutoStartDownload", "not available"); }
