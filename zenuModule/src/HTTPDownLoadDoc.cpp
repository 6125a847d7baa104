#include "HTTPDownLoadDoc.h"

#include <cstdio>

#include "Log.h"
#include "OperationWrapper.h"
#include "PathHelpers.h"
#include "ProcessValues.h"
#include "StringHelpers.h"
#include "desktop/DownloadProgressDialog.h"
#include "desktop/FileSystem.h"
#include "desktop/MessageBox.h"
#include "desktop/MessageLoop.h"
#include "desktop/Platform.h"

CHTTPDownLoadDoc::CHTTPDownLoadDoc() : m_caller(*this) {}

CHTTPDownLoadDoc::~CHTTPDownLoadDoc() {
  // The caller goes with the document: its poll must not outlive it.
  try {
    if (m_caller.IsBusy()) m_caller.CancelRequest();
  } catch (CException* e) {
    e->Delete();
  }
}

int CHTTPDownLoadDoc::DownFile(const CString& strUrl, const CString& strPath) {
  OP_BEGIN("CHTTPDownLoadDoc::DownFile")
  // A timer callback inside the running dialog must not replace the lists in use.
  if (m_bDialogOpen) return 0;
  m_iSuccess = 0;
  m_arrUrl.clear();
  m_arrPath.clear();
  m_arrUrl.push_back(strUrl);
  m_arrPath.push_back(strPath);
  if (!RequestFirst()) {
    // Without a running request nothing would ever close the dialog.
    ZTRACE(0, "CHTTPDownLoadDoc::DownFile", "下载请求未能开始: %s", strUrl.c_str());
    m_arrUrl.clear();
    m_arrPath.clear();
    return 0;
  }
  RunDialog();
  return m_iSuccess;
  OP_END
}

bool CHTTPDownLoadDoc::RequestFirst() {
  OP_BEGIN("CHTTPDownLoadDoc::RequestFirst")
  return m_caller.HttpRequest(m_arrUrl.front(), CProcessValues::GetRemoteSrvPort());
  OP_END
}

void CHTTPDownLoadDoc::RunDialog() {
  OP_BEGIN("CHTTPDownLoadDoc::RunDialog")
  m_bDialogOpen = true;
  if (IDownloadProgressDialog* dialog = DownloadProgressDialog()) {
    dialog->SetText(CString());
    dialog->DoModal();
  } else if (IMessageLoop* loop = CPlatform::Loop()) {
    loop->RunModal([this] { return !m_bDialogOpen; });
  }
  m_bDialogOpen = false;
  OP_END
}

void CHTTPDownLoadDoc::CloseDialog() {
  OP_BEGIN("CHTTPDownLoadDoc::CloseDialog")
  if (!m_bDialogOpen) return;
  m_bDialogOpen = false;
  if (IDownloadProgressDialog* dialog = DownloadProgressDialog()) dialog->EndDialog(IDOK);
  OP_END
}

void CHTTPDownLoadDoc::DropFirst() {
  if (!m_arrUrl.empty()) m_arrUrl.erase(m_arrUrl.begin());
  if (!m_arrPath.empty()) m_arrPath.erase(m_arrPath.begin());
}

void CHTTPDownLoadDoc::SetInfo(double dSpeedKB, double dFraction) {
  OP_BEGIN("CHTTPDownLoadDoc::SetInfo")
  const CString url = m_arrUrl.empty() ? CString() : m_arrUrl.front();
  const CString text = StringFormat("文件名:%s\n下载速度:%.2fkB\n下载进度:%.2f%%\n", url.c_str(),
                                    dSpeedKB, dFraction * 100);
  if (IDownloadProgressDialog* dialog = DownloadProgressDialog()) dialog->SetText(text);
  OP_END
}

void CHTTPDownLoadDoc::SaveResult(CBuffer& buf) {
  OP_BEGIN("CHTTPDownLoadDoc::SaveResult")
  if (m_arrPath.empty()) return;
  const CString target = m_arrPath.front();
  const CString folder = LeftInStr(target, "/", TRUE);
  if (!folder.empty()) CheckFolder(folder, 1);
  bool written = false;
  if (FILE* file = OpenFile(target, "wb")) {
    written = std::fwrite(buf.GetBufAddr(), 1, buf.GetBufSize(), file) == buf.GetBufSize();
    written = (std::fclose(file) == 0) && written;
    // A half-written file must not pass for the download.
    if (!written) RemoveFile(target);
  }
  if (!written) {
    // End the wait first: the error ends the program, the dialog must not stay.
    m_arrUrl.clear();
    m_arrPath.clear();
    CloseDialog();
    RAISE_ERROR("写文件失败");
  }
  DropFirst();
  if (m_arrUrl.empty()) {
    m_iSuccess = 1;
    CloseDialog();
  } else if (!RequestFirst()) {
    m_arrUrl.clear();
    m_arrPath.clear();
    CloseDialog();
  }
  OP_END
}

void CHTTPDownLoadDoc::Failed(const CString& strError) {
  OP_BEGIN("CHTTPDownLoadDoc::Failed")
  ZTRACE(0, "CHTTPDownLoadDoc::Failed", "%s", strError.c_str());
  DropFirst();
  CloseDialog();
  OP_END
}
