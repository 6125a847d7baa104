#include "RegLoginRequester.h"

#include "RegLoginDoc.h"
#include "zenuModule/src/HttpErrorText.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"

void CRegLoginRequester::ProcessResult(CBuffer& buf) {
  OP_BEGIN("CRegLoginRequester::ProcessResult")
  const CString body(buf.GetBufAddr() ? buf.GetBufAddr() : "", buf.GetBufSize());
  if (body.find(SuccessMarker()) != CString::npos) {
    m_doc.OnRequestOK();
  } else if (body.empty()) {
    // An empty message box would tell the user nothing.
    m_doc.OnRequestFailed("网络错误");
  } else {
    m_doc.OnRequestFailed(body);
  }
  OP_END
}

void CRegLoginRequester::ProcessState(SHttpState& /*state*/) {
  OP_BEGIN("CRegLoginRequester::ProcessState")
  m_doc.RefreshWaitingDlg();
  OP_END
}

void CRegLoginRequester::ProcessError(CString strError) {
  OP_BEGIN("CRegLoginRequester::ProcessError")
  ZTRACE(0, "CRegLoginRequester::ProcessError", "%s", strError.c_str());
  m_doc.OnRequestFailed(HttpErrorForUser(strError));
  OP_END
}
