#pragma once
#include "zenuModule/src/desktop/MessageBox.h"

// The program's message boxes on QMessageBox, owned by the active window.
class CQtMessageBox final : public IMessageBox {
 public:
  int Show(const CString& text, unsigned type) override;
};
