#pragma once
#include <functional>

#include "../Types.h"

// One event between the login, registration and waiting dialogs and the login
// document: a type and up to three texts (GBK).
struct SRegLoginDlgEvent {
  int iType = 0;
  CString strText1;
  CString strText2;
  CString strText3;
};

using RegLoginEventSink = std::function<void(const SRegLoginDlgEvent&)>;

// The login dialog. Events to the document: 4 once it has opened, 1 with name,
// password and the service address ("服务器") for "登录" (when a close with
// success is pending, "登录" closes the dialog with IDOK instead), 2 with the
// service address for "十秒钟注册".
class ILoginDialog {
 public:
  virtual ~ILoginDialog() = default;
  // Shows the banner "skin/reglog.bmp" of the program folder and runs modally in a
  // nested run of the message loop (IMessageLoop::RunModal) until EndDialog or
  // the user cancels; returns the result (IDOK, IDCANCEL).
  virtual int DoModal(const RegLoginEventSink& onEvent) = 0;
  // 0: close with success (IDOK); 1: fill name (text 1) and password (text 2),
  // and the service address (text 3) when one is given.
  virtual void OnUpdate(const SRegLoginDlgEvent& evt) = 0;
  virtual void EndDialog(int result) = 0;
  // Restores the window and raises it.
  virtual void BringToFront() = 0;
};

// Installed once by the user-interface layer (or a test); null without a UI.
ILoginDialog* LoginDialog();
void SetLoginDialog(ILoginDialog* dialog);
