#pragma once
#include "LoginDialog.h"

// The registration dialog. Event to the document: 0 with name, password and the
// password again for "注册" (when a close is pending, "注册" closes instead).
class IRegisterDialog {
 public:
  virtual ~IRegisterDialog() = default;
  // Runs modally in a nested run of the message loop until EndDialog or the user
  // cancels; returns the result.
  virtual int DoModal(const RegLoginEventSink& onEvent) = 0;
  // 0: close the dialog.
  virtual void OnUpdate(const SRegLoginDlgEvent& evt) = 0;
  virtual void EndDialog(int result) = 0;
  virtual void BringToFront() = 0;
};

// Installed once by the user-interface layer (or a test); null without a UI.
IRegisterDialog* RegisterDialog();
void SetRegisterDialog(IRegisterDialog* dialog);
