#pragma once
#include <deque>
#include <vector>

#include "zenuModule/src/desktop/MessageBox.h"

// Records every message box and answers from a script (IDOK when it runs dry).
class CFakeMessageBox final : public IMessageBox {
 public:
  CFakeMessageBox();
  ~CFakeMessageBox() override;
  int Show(const CString& text, unsigned type) override;

  std::vector<CString> texts;
  std::vector<unsigned> types;
  std::deque<int> answers;

 private:
  IMessageBox* m_previous;
};
