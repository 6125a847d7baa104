#pragma once
#include "zenuModule/src/desktop/MessageBox.h"

// The program's message boxes on Qt: empty caption, owned by the active window
// or else the main window.
class CQtMessageBoxFallback final : public IMessageBox {
 public:
  int Show(const CString& text, unsigned type) override;
};
