#pragma once
#include "zenuModule/src/Types.h"

// The rating dialog "评价": five scores, no cancel.
class CEvalDialog final {
 public:
  static constexpr int kInitialSelection = 2;  // score 3

  void SetRecordName(const CString& strName) { m_strRecordName = strName; }
  // The selected score (selection + 1), however the dialog was closed.
  int DoModal();

  // "1分，类似的不要推送" ... by score 1..5; empty for any other score.
  static CString ScoreText(int iScore);
  // "类似的不要推送" ... by score 1..5; empty for any other score.
  static CString ShortScoreText(int iScore);
  static const char* Title();
  static const char* Line();

 private:
  CString m_strRecordName;
  int m_iSelection = kInitialSelection;
};
