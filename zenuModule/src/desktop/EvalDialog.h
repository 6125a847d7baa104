#pragma once
#include "../Types.h"

// What the rating dialog "评价" shows (all GBK), and the choice it ends with.
struct SEvalDlgData {
  CString strTitle;
  CString strRecordName;
  CString strLine;
  // Radio texts by score: index 0 is score 1; shown from score 5 down to score 1.
  CString strScoreTexts[5];
  // The selected index (0..4), in and out; the dialog has no cancel, so whatever
  // closes it leaves the current selection here.
  int iSelection = 2;
};

class IEvalDialog {
 public:
  virtual ~IEvalDialog() = default;
  virtual void DoModal(SEvalDlgData& data) = 0;
};

// Installed once by the user-interface layer (or a test); null without a UI.
IEvalDialog* EvalDialog();
void SetEvalDialog(IEvalDialog* dialog);
