#include "MsgBox.h"

#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/MsgBox.h"
#include "zenuModule/src/desktop/Platform.h"

const char* CMsgBox::Title() { return "Dialog"; }

void CMsgBox::OnUpdate(int iType, const CString& strText) {
  if (iType == 0) m_strText = strText;
}

void CMsgBox::DoModal() {
  OP_BEGIN("CMsgBox::DoModal")
  if (IMsgBox* dialog = MsgBox()) {
    SMsgBoxData data;
    data.strTitle = Title();
    data.strText = m_strText;
    dialog->DoModal(data);
    return;
  }
  ShowMessageBox(m_strText, MB_OK | MB_ICONINFORMATION);
  OP_END
}
