#include "TemplHttpCaller.h"

#include "CatchApp.h"
#include "IntfHttpReq.h"
#include "Log.h"
#include "OperationWrapper.h"

namespace {
// One flag for every caller: while one polling step runs (its callbacks may pump
// a nested loop), the others skip their tick.
bool g_bPolling = false;

class CPollingGuard final {
 public:
  CPollingGuard() { g_bPolling = true; }
  ~CPollingGuard() { g_bPolling = false; }
  CPollingGuard(const CPollingGuard&) = delete;
  CPollingGuard& operator=(const CPollingGuard&) = delete;
};

// Errors of ProcessState and ProcessError are logged; polling goes on.
void LogCallbackError(CException* e) {
  if (auto* pe = dynamic_cast<CProgramException*>(e))
    pe->CallStack(__FILE__, "CTemplHttpCaller::VisitState");
  LogAndDeleteException(e);
}

template <class F>
void Swallowed(F&& callback) {
  try {
    callback();
  } catch (CException* e) {
    LogCallbackError(e);
  } catch (const std::exception& e) {
    WriteErrorLog(CString("CTemplHttpCaller::VisitState: ") + e.what());
  } catch (...) {
    WriteErrorLog("CTemplHttpCaller::VisitState: Pure C++ error");
  }
}
}  // namespace

bool CTemplHttpCaller::HttpRequest(CString strUrl, int nPort) {
  OP_BEGIN("CTemplHttpCaller::HttpRequest")
  if (m_bLock) return false;
  const unsigned long id = CIntfHttpReq::GetInstance()->HttpRequest(strUrl, nPort);
  if (id < 1) return false;
  m_ulRequestID = id;
  m_bLock = true;
  BOOL registered = FALSE;
  try {
    registered = RegisterTimer(1, 0);
  } catch (CProgramException* e) {
    // No timer service yet (no main window): the request cannot be polled.
    e->CallStack(__FILE__, zenuOpName_);
    WriteErrorLog(e->GetErrInfo());
    e->Delete();
  }
  if (!registered) {
    // Nobody would ever poll this request: stop its worker.
    CIntfHttpReq::GetInstance()->ExitHTTP(id);
    AfterEndRequest();
    return false;
  }
  m_strUrl = strUrl;
  return true;
  OP_END
}

void CTemplHttpCaller::TimerCallBack() {
  OP_BEGIN("CTemplHttpCaller::TimerCallBack")
  if (g_bPolling) return;
  CPollingGuard guard;
  if (CCatchApp::IsExiting()) {
    AfterEndRequest();
    return;
  }
  // A false answer either ended the request (error) or could not read the state in
  // time; in the latter case the registration stays and the next tick tries again.
  if (VisitState()) CheckResult();
  OP_END
}

bool CTemplHttpCaller::VisitState() {
  OP_BEGIN("CTemplHttpCaller::VisitState")
  auto* http = CIntfHttpReq::GetInstance();
  CString strError;
  if (http->GetHttpError(m_ulRequestID, strError)) {
    http->DelRequestInfo(m_ulRequestID);
    AfterEndRequest();
    Swallowed([&] { ProcessError(strError); });
    return false;
  }
  SHttpState state;
  if (!http->GetHttpState(m_ulRequestID, state)) return false;
  Swallowed([&] { ProcessState(state); });
  // ProcessState may have cancelled the request.
  return m_bLock;
  OP_END
}

void CTemplHttpCaller::CheckResult() {
  OP_BEGIN("CTemplHttpCaller::CheckResult")
  CBuffer buf;
  if (!CIntfHttpReq::GetInstance()->ReceiveHttp(m_ulRequestID, buf)) return;
  AfterEndRequest();
  ProcessResult(buf);
  OP_END
}

void CTemplHttpCaller::AfterEndRequest() {
  OP_BEGIN("CTemplHttpCaller::AfterEndRequest")
  m_ulRequestID = 0;
  m_bLock = false;
  UnRegisterTimer();
  OP_END
}

void CTemplHttpCaller::CancelRequest() {
  OP_BEGIN("CTemplHttpCaller::CancelRequest")
  if (m_ulRequestID) CIntfHttpReq::GetInstance()->ExitHTTP(m_ulRequestID);
  AfterEndRequest();
  OP_END
}
