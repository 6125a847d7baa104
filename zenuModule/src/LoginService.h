#pragma once
#include "zenuModule/src/Types.h"

// Login and registration as the session controller reaches them.
class ILoginService {
 public:
  virtual ~ILoginService() = default;
  // Runs the login (automatic or through the dialogs); FALSE when cancelled.
  virtual BOOL ShowLoginDlg() = 0;
  virtual BOOL IsAllModalDlgClosed() = 0;
  virtual void CloseAllModalDlg() = 0;
  // Raises whichever login or registration dialog is open.
  virtual void BringToFront() = 0;
};
