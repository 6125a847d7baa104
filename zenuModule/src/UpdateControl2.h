#pragma once
#include "HTTPReqTimer.h"
#include "TemplHttpCaller.h"
#include "TemplIntfUpdateControlCaller.h"
#include "VersionInfo.h"

// Fetches the update description now and every 30 seconds until one parses; stops
// the user when the running version is retired.
class CUpdateControl2 final : public CTemplHttpCaller {
 public:
  CUpdateControl2();

  void Register2(CTemplIntfUpdateControlCaller* pCaller, int iVersion, const CString& strDisplay,
                 const CString& strUrl);

  void ProcessResult(CBuffer& buf) override;
  void ProcessState(SHttpState& state) override;
  void ProcessError(CString strError) override;
  // Starts one fetch (refused quietly while one is in progress).
  virtual void OnHTTPReqTimerEvent();

  bool IsRepeating() const;

 private:
  CTemplIntfUpdateControlCaller* m_pCaller = nullptr;
  int m_iCurVersion = 0;
  CString m_strCurDisplay;
  CString m_strUrl;
  SVersionInfo m_info;
  CString m_strRequestUrl;
  int m_iRequestPort = 80;
  CHTTPReqTimer m_timer;
};
