#include "IntfHttpReq.h"

#include "HttpReqControl.h"
#include "OperationWrapper.h"
#include "StringHelpers.h"

unsigned long CIntfHttpReq::HttpRequest(const CString& strUrl, int nPort) {
  OP_BEGIN("CIntfHttpReq::HttpRequest")
  return CHttpReqControl::GetInstance()->Request(UrlAndPort(strUrl, nPort));
  OP_END
}

bool CIntfHttpReq::HttpRequestSync(const CString& strUrl, int nPort, CString& strResult) {
  OP_BEGIN("CIntfHttpReq::HttpRequestSync")
  return CHttpReqControl::GetInstance()->OpenUrlSync(UrlAndPort(strUrl, nPort), strResult);
  OP_END
}

BOOL CIntfHttpReq::GetHttpState(unsigned long ulRequestID, SHttpState& state) {
  OP_BEGIN("CIntfHttpReq::GetHttpState")
  return CHttpReqControl::GetInstance()->GetState(ulRequestID, state);
  OP_END
}

bool CIntfHttpReq::GetHttpError(unsigned long ulRequestID, CString& strError) {
  OP_BEGIN("CIntfHttpReq::GetHttpError")
  return CHttpReqControl::GetInstance()->GetHttpError(ulRequestID, strError);
  OP_END
}

BOOL CIntfHttpReq::ReceiveHttp(unsigned long ulRequestID, CBuffer& buf) {
  OP_BEGIN("CIntfHttpReq::ReceiveHttp")
  return CHttpReqControl::GetInstance()->Receive(ulRequestID, buf);
  OP_END
}

void CIntfHttpReq::ExitHTTP(unsigned long ulRequestID) {
  OP_BEGIN("CIntfHttpReq::ExitHTTP")
  CHttpReqControl::GetInstance()->ExitHTTP(ulRequestID);
  OP_END
}

void CIntfHttpReq::ExitAllHTTP() {
  OP_BEGIN("CIntfHttpReq::ExitAllHTTP")
  CHttpReqControl::GetInstance()->ExitAllHTTP();
  OP_END
}

void CIntfHttpReq::DelRequestInfo(unsigned long ulRequestID) {
  OP_BEGIN("CIntfHttpReq::DelRequestInfo")
  CHttpReqControl::GetInstance()->DelRequestInfo(ulRequestID);
  OP_END
}

BOOL CIntfHttpReq::CheckNet() {
  OP_BEGIN("CIntfHttpReq::CheckNet")
  return CHttpReqControl::GetInstance()->CheckNet();
  OP_END
}
