#pragma once
#include "../Types.h"

// What the usage-hint dialog "软件使用提示" shows (all GBK).
struct SPromptDlgData {
  CString strTitle;
  CString strText;
  CString strCheckText;  // the not-again box
};

class IPromptDialog {
 public:
  virtual ~IPromptDialog() = default;
  // Runs modally. IDOK when "确定" closed it with the box clear, IDCANCEL when
  // "确定" closed it with the box ticked, any other code when closed otherwise.
  virtual int DoModal(const SPromptDlgData& data) = 0;
};

// Installed once by the user-interface layer (or a test); null without a UI.
IPromptDialog* PromptDialog();
void SetPromptDialog(IPromptDialog* dialog);
