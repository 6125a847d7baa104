#pragma once
#include "ModalDialog.h"
#include "zenuModule/src/desktop/LoginDialog.h"

// What the login and the registration dialog do alike: a run hands the fields
// to the account document through its sink, and the document's close (event 0)
// ends the run with OK; the button pressed after that close only ends it.
class CRegLoginDialog : public CModalDialog {
 public:
  explicit CRegLoginDialog(QWidget* parent) : CModalDialog(false, parent) {}

 protected:
  // Starts a run with the sink; prepare runs before the nested loop.
  template <typename Prepare>
  int RunWithSink(const RegLoginEventSink& onEvent, Prepare prepare) {
    BeginRun();
    m_sink = onEvent;
    m_bClosePending = false;
    prepare();
    const int result = RunModal();
    m_sink = nullptr;
    return result;
  }
  // The fields go to the document, unless it has already closed the dialog.
  void Submit(const SRegLoginDlgEvent& evt);
  // Sends without that check.
  void Send(const SRegLoginDlgEvent& evt);
  // Event 0 closes the dialog; true when it did.
  bool CloseOnUpdate(const SRegLoginDlgEvent& evt);

 private:
  RegLoginEventSink m_sink;
  bool m_bClosePending = false;
};
