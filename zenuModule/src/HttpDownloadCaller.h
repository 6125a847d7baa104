#pragma once
#include "TemplHttpCaller.h"

class CHTTPDownLoadDoc;

// Carries the file download's requests and hands their outcome to the document.
class CHttpDownloadCaller final : public CTemplHttpCaller {
 public:
  explicit CHttpDownloadCaller(CHTTPDownLoadDoc& doc) : m_doc(doc) {}

  void ProcessResult(CBuffer& buf) override;
  void ProcessState(SHttpState& state) override;
  void ProcessError(CString strError) override;

 private:
  CHTTPDownLoadDoc& m_doc;
};
