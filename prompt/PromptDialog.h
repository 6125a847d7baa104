#pragma once
#include "zenuModule/src/Types.h"

// The usage-hint dialog "软件使用提示": a text and the box "知道了，不再提示".
class CPromptDialog final {
 public:
  CPromptDialog();

  // iType 0: the text becomes strText; other kinds change nothing.
  void OnUpdate(int iType, const CString& strText);
  const CString& GetText() const { return m_strText; }
  // IDOK unless the user ticked the box (IDCANCEL) or closed the dialog otherwise.
  int DoModal();

  // The result "确定" closes with: cancel when the box is ticked.
  static int OnBnClickedOk(bool bLayaside);
  static const char* UsageHint();
  static const char* Title();
  static const char* CheckText();

 private:
  CString m_strText;
};
