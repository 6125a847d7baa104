#pragma once
#include <vector>

#include "HttpDownloadCaller.h"
#include "Singleton.h"

// Fetches a file into a path behind the modal progress dialog "下载进度" and
// returns when the fetch has ended.
class CHTTPDownLoadDoc final : public TSingleton<CHTTPDownLoadDoc> {
  friend class TSingleton<CHTTPDownLoadDoc>;

 public:
  CHTTPDownLoadDoc(const CHTTPDownLoadDoc&) = delete;
  CHTTPDownLoadDoc& operator=(const CHTTPDownLoadDoc&) = delete;
  ~CHTTPDownLoadDoc();

  // 1 when the file was written, 0 otherwise. The URL is fetched on the remote
  // service port.
  int DownFile(const CString& strUrl, const CString& strPath);

  void SaveResult(CBuffer& buf);
  void Failed(const CString& strError);
  void SetInfo(double dSpeedKB, double dFraction);

 private:
  CHTTPDownLoadDoc();
  bool RequestFirst();
  void RunDialog();
  void CloseDialog();
  void DropFirst();

  CHttpDownloadCaller m_caller;
  std::vector<CString> m_arrUrl;
  std::vector<CString> m_arrPath;
  int m_iSuccess = 0;
  bool m_bDialogOpen = false;
};
