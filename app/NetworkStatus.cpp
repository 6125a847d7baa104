#include "NetworkStatus.h"

#include "zenuModule/src/IntfHttpReq.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PushEngine.h"

namespace {
int g_bFirstNetUpHandled = 0;
}

void CNetworkStatus::ResetFirstUp() { g_bFirstNetUpHandled = 0; }

void CNetworkStatus::CheckNet() {
  OP_BEGIN("CNetworkStatus::CheckNet")
  m_iStatus = CIntfHttpReq::GetInstance()->CheckNet() ? 1 : 0;
  if (m_iLastStatus == 0 && m_iStatus == 1 && g_bFirstNetUpHandled == 0) {
    if (m_pPushEngine) {
      m_pPushEngine->CheckPushMethod(FALSE);
      // The push-method page may have been ended by the quit sequence.
      if (m_bStopped) return;
      m_pPushEngine->StartRequesting("normal", 0);
    }
    g_bFirstNetUpHandled = 1;
  }
  m_iLastStatus = m_iStatus;
  OP_END
}
