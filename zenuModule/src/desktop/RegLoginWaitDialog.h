#pragma once
#include "../Types.h"

// What the waiting dialog of login and registration shows: a title, a progress
// bar, the maximum wait and the time waited. The counting lives in the core.
class IRegLoginWaitDialog {
 public:
  virtual ~IRegLoginWaitDialog() = default;
  // Runs modally in a nested run of the message loop until EndDialog. OK and
  // Cancel (Enter, Escape, the close box) do not end it.
  virtual int DoModal() = 0;
  virtual void SetTitle(const CString& title) = 0;
  // The bar's range is 0 to max.
  virtual void SetRange(int max) = 0;
  virtual void SetPos(int pos) = 0;
  virtual void SetMaxWaitText(const CString& text) = 0;
  virtual void SetWaitedText(const CString& text) = 0;
  virtual void EndDialog(int result) = 0;
};

// Installed once by the user-interface layer (or a test); null without a UI.
IRegLoginWaitDialog* RegLoginWaitDialog();
void SetRegLoginWaitDialog(IRegLoginWaitDialog* dialog);
