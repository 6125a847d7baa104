#pragma once
#include "../Types.h"

// The small modal dialog "下载进度" shown while a file is fetched. It has no
// buttons of its own that end it: only EndDialog does.
class IDownloadProgressDialog {
 public:
  virtual ~IDownloadProgressDialog() = default;
  // Runs modally (the message loop keeps running) until EndDialog; returns its result.
  virtual int DoModal() = 0;
  // The dialog's text (GBK, three lines).
  virtual void SetText(const CString& text) = 0;
  virtual void EndDialog(int result) = 0;
};

// Installed once by the user-interface layer (or a test); null without a UI.
IDownloadProgressDialog* DownloadProgressDialog();
void SetDownloadProgressDialog(IDownloadProgressDialog* dialog);
