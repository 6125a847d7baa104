#include "EvalDialog.h"

#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/desktop/EvalDialog.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
const char* const kScoreTexts[5] = {"1分，类似的不要推送", "2分，类似的减少推送", "3分，感觉一般",
                                    "4分，类似的可以适当推送", "5分，类似的推送更多"};
const char* const kShortTexts[5] = {"类似的不要推送", "类似的减少推送", "感觉一般",
                                    "类似的可以适当推送", "类似的推送更多"};
}  // namespace

CString CEvalDialog::ScoreText(int iScore) {
  return iScore >= 1 && iScore <= 5 ? CString(kScoreTexts[iScore - 1]) : CString();
}

CString CEvalDialog::ShortScoreText(int iScore) {
  return iScore >= 1 && iScore <= 5 ? CString(kShortTexts[iScore - 1]) : CString();
}

const char* CEvalDialog::Title() { return "评价"; }

const char* CEvalDialog::Line() { return "为了更好地向您推送，请对已推送电影作出评价!"; }

int CEvalDialog::DoModal() {
  OP_BEGIN("CEvalDialog::DoModal")
  if (IEvalDialog* dialog = EvalDialog()) {
    SEvalDlgData data;
    data.strTitle = Title();
    data.strRecordName = m_strRecordName;
    data.strLine = Line();
    for (int i = 0; i < 5; ++i) data.strScoreTexts[i] = kScoreTexts[i];
    data.iSelection = m_iSelection;
    dialog->DoModal(data);
    // A selection outside the five radios would send a score the service refuses.
    if (data.iSelection >= 0 && data.iSelection <= 4) m_iSelection = data.iSelection;
  } else {
    // Without the dialog the user still learns what is rated; the score is the
    // one the dialog starts with, as when it is closed unchanged.
    ShowMessageBox(m_strRecordName + "\n" + Line(), MB_OK | MB_ICONINFORMATION);
  }
  return m_iSelection + 1;
  OP_END
}
