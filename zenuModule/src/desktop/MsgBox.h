#pragma once
#include "../Types.h"

// What the plain message dialog shows (all GBK).
struct SMsgBoxData {
  CString strTitle;
  CString strText;
};

class IMsgBox {
 public:
  virtual ~IMsgBox() = default;
  // Runs modally until "确定" or closing.
  virtual void DoModal(const SMsgBoxData& data) = 0;
};

// Installed once by the user-interface layer (or a test); null without a UI.
IMsgBox* MsgBox();
void SetMsgBox(IMsgBox* dialog);
