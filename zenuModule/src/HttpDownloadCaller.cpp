#include "HttpDownloadCaller.h"

#include "HTTPDownLoadDoc.h"
#include "OperationWrapper.h"

void CHttpDownloadCaller::ProcessResult(CBuffer& buf) {
  OP_BEGIN("CHttpDownloadCaller::ProcessResult")
  m_doc.SaveResult(buf);
  OP_END
}

void CHttpDownloadCaller::ProcessState(SHttpState& state) {
  OP_BEGIN("CHttpDownloadCaller::ProcessState")
  const bool noTotal = static_cast<long long>(state.dTotalKB * 1000) == 0;
  const double fraction = noTotal ? 0.0 : state.dReceivedKB / state.dTotalKB;
  m_doc.SetInfo(state.dSpeedKB, fraction);
  OP_END
}

void CHttpDownloadCaller::ProcessError(CString strError) {
  OP_BEGIN("CHttpDownloadCaller::ProcessError")
  m_doc.Failed(strError);
  OP_END
}
