#include "PromptDialog.h"

#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/Platform.h"
#include "zenuModule/src/desktop/PromptDialog.h"

CPromptDialog::CPromptDialog() : m_strText(UsageHint()) {}

const char* CPromptDialog::UsageHint() {
  return "    软件使用非常简单，您只需要对任何已推送电影的进行评价并提交，系统就会根据您的评价推送"
         "一部新的电影。随着您的评价增多，推送的电影将越来越符合您的喜好。\n\n    已评价的电影是可"
         "以再次评价的，系统也会推送新电影。如果您想查看更多电影，又不想随意评价其它电影，建议采用"
         "这种方式。";
}

const char* CPromptDialog::Title() { return "软件使用提示"; }

const char* CPromptDialog::CheckText() { return "知道了，不再提示"; }

void CPromptDialog::OnUpdate(int iType, const CString& strText) {
  if (iType == 0) m_strText = strText;
}

int CPromptDialog::OnBnClickedOk(bool bLayaside) { return bLayaside ? IDCANCEL : IDOK; }

int CPromptDialog::DoModal() {
  OP_BEGIN("CPromptDialog::DoModal")
  if (IPromptDialog* dialog = PromptDialog()) {
    SPromptDlgData data;
    data.strTitle = Title();
    data.strText = m_strText;
    data.strCheckText = CheckText();
    return dialog->DoModal(data);
  }
  // Without the dialog the text still reaches the user; nothing is set aside.
  ShowMessageBox(m_strText, MB_OK | MB_ICONINFORMATION);
  return IDOK;
  OP_END
}
