#pragma once
#include "Buffer.h"
#include "HttpState.h"
#include "Singleton.h"

// The way every other part reaches the HTTP engine.
class CIntfHttpReq final : public TSingleton<CIntfHttpReq> {
  friend class TSingleton<CIntfHttpReq>;

 public:
  CIntfHttpReq(const CIntfHttpReq&) = delete;
  CIntfHttpReq& operator=(const CIntfHttpReq&) = delete;

  // The port goes into the URL unless it is 80; returns the request id, 0 when refused.
  unsigned long HttpRequest(const CString& strUrl, int nPort);
  bool HttpRequestSync(const CString& strUrl, int nPort, CString& strResult);
  BOOL GetHttpState(unsigned long ulRequestID, SHttpState& state);
  bool GetHttpError(unsigned long ulRequestID, CString& strError);
  BOOL ReceiveHttp(unsigned long ulRequestID, CBuffer& buf);
  void ExitHTTP(unsigned long ulRequestID);
  void ExitAllHTTP();
  void DelRequestInfo(unsigned long ulRequestID);
  BOOL CheckNet();

 private:
  CIntfHttpReq() = default;
};
