#include "push/RecordDialogs.h"

#include "push/PushDoc.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/RecordDialogs.h"

void CDeleteTaskDialog::OnUpdate(int iKind, const CString& strQuestion) {
  if (iKind == 0) m_strQuestion = strQuestion;
}

int CDeleteTaskDialog::DoModal() {
  OP_BEGIN("CDeleteTaskDialog::DoModal")
  IDeleteTaskDialog* dialog = DeleteTaskDialog();
  if (!dialog) return IDCANCEL;
  int bDeleteFiles = 1;
  const int result = dialog->DoModal(m_strQuestion, &bDeleteFiles);
  if (result == IDOK) {
    const int answer[2] = {0, bDeleteFiles ? 1 : 0};
    CPushDoc::GetInstance()->OnDelTaskDlgEvent(answer);
  }
  return result;
  OP_END
}

void CSelectFileDlg::OnUpdate(int iKind, RecordGID ulGID, const std::vector<CString>& arrFiles) {
  if (iKind != 0) return;
  m_ulGID = ulGID;
  m_arrFiles = arrFiles;
}

int CSelectFileDlg::DoModal() {
  OP_BEGIN("CSelectFileDlg::DoModal")
  ISelectFileDialog* dialog = SelectFileDialog();
  if (!dialog) return IDCANCEL;
  CString chosen;
  const int result = dialog->DoModal(m_arrFiles, chosen);
  if (result == IDOK) {
    SSelectFileResult answer;
    answer.iType = 0;
    answer.ulGID = m_ulGID;
    answer.strFile = chosen;
    CPushDoc::GetInstance()->OnSelectFileDlgEvent(answer);
  }
  return result;
  OP_END
}
