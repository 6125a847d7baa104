#pragma once
#include <functional>

#include "../Types.h"

// What the update dialog "软件升级提示" shows (all GBK).
struct SUpdateVersionDlgData {
  CString strCurrentDisplay;
  CString strNewDisplay;
  CString strNewFunction;  // lines end in "\r\n"
  CString strUpdateUrl;
};

class IUpdateVersionDialog {
 public:
  virtual ~IUpdateVersionDialog() = default;
  // Runs modally until "确定" or closing; "立即下载更新" calls onDownload and the
  // dialog stays open.
  virtual void DoModal(const SUpdateVersionDlgData& data,
                       const std::function<void()>& onDownload) = 0;
};

// Installed once by the user-interface layer (or a test); null without a UI.
IUpdateVersionDialog* UpdateVersionDialog();
void SetUpdateVersionDialog(IUpdateVersionDialog* dialog);
