#include "RegLoginDialog.h"

#include "zenuModule/src/desktop/MessageBox.h"

void CRegLoginDialog::Submit(const SRegLoginDlgEvent& evt) {
  if (m_bClosePending) {
    Finish(IDOK);
    return;
  }
  Send(evt);
}

void CRegLoginDialog::Send(const SRegLoginDlgEvent& evt) {
  // The sink may run nested dialogs; keep a copy alive while it does.
  if (RegLoginEventSink sink = m_sink) sink(evt);
}

bool CRegLoginDialog::CloseOnUpdate(const SRegLoginDlgEvent& evt) {
  if (evt.iType != 0) return false;
  m_bClosePending = true;
  Finish(IDOK);
  return true;
}
