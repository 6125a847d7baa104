#pragma once
#include "../Types.h"

// The values the settings dialog shows and edits.
struct SConfigDlgValues {
  CString strSaveas;
  int iAutoLogin = 0;
  int bAutoStart = 0;
  int bAutoDownload = 0;
  int iEvalDays = 0;
  int iRateLimit = 0;           // no control: passes through unchanged
  CString strServiceHost;       // "服务器": host or host:port
  CString strDownloadManager;   // shown only: the external download manager found
  int bShareAfterDownload = 0;  // "下载完成后继续分享"
  int iUploadLimit = 0;         // "上传限速", KB/s, 0 = none
  int iMaxShared = 0;           // the most movies shared at once
};

// How the dialog ended: its result code (IDOK, IDCANCEL, or 1 for the push-method
// button) and whether the push-method button ended it.
struct SConfigDlgOutcome {
  int iResult = 0;
  bool bSetPushMethod = false;
};

// The settings dialog "程序设置". Run() shows values, runs modally and leaves in
// values what the dialog holds when it closes: the edited values after OK, the
// initial ones after cancel (or those taken at the last folder choice).
class IConfigDialog {
 public:
  virtual ~IConfigDialog() = default;
  virtual SConfigDlgOutcome Run(SConfigDlgValues& values) = 0;
};

// Installed once by the user interface (or a test); not owned by the core.
IConfigDialog* GetConfigDialog();
void SetConfigDialog(IConfigDialog* dialog);
