#pragma once
#include "zenuModule/src/Types.h"

// The plain message dialog of the prompts: a text and "确定".
class CMsgBox final {
 public:
  // iType 0: the text becomes strText; other kinds change nothing.
  void OnUpdate(int iType, const CString& strText);
  const CString& GetText() const { return m_strText; }
  void DoModal();

  static const char* Title();

 private:
  CString m_strText;
};
