#pragma once
#include "TemplHttpCaller.h"
#include "TemplIntfUpdateControlCaller.h"
#include "VersionInfo.h"

// One fetch of the update description; shows the update dialog for a newer version.
class CUpdateControl final : public CTemplHttpCaller {
 public:
  CUpdateControl() = default;

  void Register(CTemplIntfUpdateControlCaller* pCaller, int iVersion, const CString& strDisplay,
                const CString& strUrl);

  void ProcessResult(CBuffer& buf) override;
  void ProcessState(SHttpState& state) override;
  void ProcessError(CString strError) override;

  // Splits the port after the host off the URL; 1 when split with a path after it.
  static int GetUrlAndPort(const CString& strUrl, CString& strOutUrl, int& iOutPort);
  // The value after the first "key=" up to the line feed; 0 (and empty) when absent.
  static int GetINIString(const CString& strText, const CString& strKey, CString& strOutValue);
  // Reads the six keys; 0 at the first one missing.
  static int SetVersionInfo(const CString& strText, SVersionInfo& info);
  // The URL and port to fetch: split when the URL carries a port, else as given on 80.
  static void SplitRequestUrl(const CString& strUrl, CString& strOutUrl, int& iOutPort);
  // Opens the update URL with the desktop's default handler.
  static void OpenUpdateUrl(const CString& strUpdateUrl);

 private:
  CTemplIntfUpdateControlCaller* m_pCaller = nullptr;
  int m_iCurVersion = 0;
  CString m_strCurDisplay;
  CString m_strUrl;
  SVersionInfo m_info;
};
