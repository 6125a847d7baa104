#pragma once
#include <functional>

#include "../Types.h"

// What the version-stop dialog "软件升级提示" shows (all GBK).
struct SVersionStopDlgData {
  CString strCurrentDisplay;
  CString strUpdateUrl;
};

class IVersionStopDialog {
 public:
  virtual ~IVersionStopDialog() = default;
  // Runs modally until "确定" or closing; "立即下载更新" calls onDownload and the
  // dialog stays open.
  virtual void DoModal(const SVersionStopDlgData& data,
                       const std::function<void()>& onDownload) = 0;
};

// Installed once by the user-interface layer (or a test); null without a UI.
IVersionStopDialog* VersionStopDialog();
void SetVersionStopDialog(IVersionStopDialog* dialog);
