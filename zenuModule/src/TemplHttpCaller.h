#pragma once
#include "Buffer.h"
#include "HttpState.h"
#include "TemplTimerCaller.h"

// One asynchronous request at a time, polled once a second on the user-interface
// thread; the outcome arrives as ProcessResult or ProcessError.
class CTemplHttpCaller : public CTemplTimerCaller {
 public:
  CTemplHttpCaller() = default;
  CTemplHttpCaller(const CTemplHttpCaller&) = delete;
  CTemplHttpCaller& operator=(const CTemplHttpCaller&) = delete;
  ~CTemplHttpCaller() override = default;

  void TimerCallBack() override;
  // False when busy, when the engine refused, or when polling could not be set up.
  virtual bool HttpRequest(CString strUrl, int nPort);
  virtual void ProcessResult(CBuffer& buf) = 0;
  virtual void ProcessState(SHttpState& state) = 0;
  virtual void ProcessError(CString strError) = 0;

  void CancelRequest();
  void AfterEndRequest();
  bool VisitState();
  void CheckResult();

  bool IsBusy() const { return m_bLock; }
  unsigned long GetRequestID() const { return m_ulRequestID; }
  const CString& GetUrl() const { return m_strUrl; }

 protected:
  CString m_strUrl;
  bool m_bLock = false;
  unsigned long m_ulRequestID = 0;
};
