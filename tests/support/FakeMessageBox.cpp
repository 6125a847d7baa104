#include "FakeMessageBox.h"

#include "zenuModule/src/desktop/Platform.h"

CFakeMessageBox::CFakeMessageBox() : m_previous(CPlatform::MessageBox()) {
  CPlatform::SetMessageBox(this);
}

CFakeMessageBox::~CFakeMessageBox() { CPlatform::SetMessageBox(m_previous); }

int CFakeMessageBox::Show(const CString& text, unsigned type) {
  texts.push_back(text);
  types.push_back(type);
  if (answers.empty()) return IDOK;
  const int answer = answers.front();
  answers.pop_front();
  return answer;
}
