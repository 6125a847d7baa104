#include "EvalRequestCaller.h"

#include "EvalDoc.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/StringHelpers.h"

CEvalRequestCaller::~CEvalRequestCaller() {
  // A report still running must not poll into a destroyed caller.
  if (IsBusy()) {
    try {
      CancelRequest();
    } catch (...) {
    }
  }
}

void CEvalRequestCaller::SetRecognitionInfo(const CString& strMarker, const CString& strFailTrace,
                                            const CString& strThird) {
  m_strMarker = strMarker;
  m_strFailTrace = strFailTrace;
  m_strThird = strThird;
}

CString CEvalRequestCaller::LowerAscii(const CString& text) {
  CString out = text;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool CEvalRequestCaller::ContainsMarker(const CString& strBody, const CString& strMarker) {
  return LowerAscii(TrimWhite(strBody)).find(LowerAscii(strMarker)) != CString::npos;
}

bool CEvalRequestCaller::HttpRequest(CString strUrl, int nPort) {
  OP_BEGIN("CEvalRequestCaller::HttpRequest")
  // Without a session nothing has seen the service answer.
  const ISession* session = m_owner.GetSession();
  if (!session || session->GetNetStatus() != 1) {
    ZTRACE(1, zenuOpName_, "网络检测不通，不能发起HTTP请求");
    m_owner.OnEvaledResult(false);
    return false;
  }
  if (CTemplHttpCaller::HttpRequest(strUrl, nPort)) return true;
  ZTRACE(1, zenuOpName_, "不能向NetworkControl模块发起http请求，可能有请求正在进行");
  m_owner.OnEvaledResult(false);
  return false;
  OP_END
}

void CEvalRequestCaller::ProcessResult(CBuffer& buf) {
  OP_BEGIN("CEvalRequestCaller::ProcessResult")
  CString body;
  buf.CopyToString(body);
  if (ContainsMarker(body, m_strMarker)) {
    m_owner.OnEvaledResult(true);
    return;
  }
  // An error page can be large; its start is enough to see why.
  if (body.size() > kTraceBodyLimit) body.resize(kTraceBodyLimit);
  ZTRACE(1, zenuOpName_, "%s : failed\nreq:%s", m_strUrl.c_str(), body.c_str());
  m_owner.OnEvaledResult(false);
  OP_END
}

void CEvalRequestCaller::ProcessError(CString /*strError*/) {
  OP_BEGIN("CEvalRequestCaller::ProcessError")
  ZTRACE(1, zenuOpName_, "发送评价请求失败, URL:%s", m_strUrl.c_str());
  m_owner.OnEvaledResult(false);
  if (!m_strFailTrace.empty()) ZTRACE(1, zenuOpName_, "%s", m_strFailTrace.c_str());
  OP_END
}
