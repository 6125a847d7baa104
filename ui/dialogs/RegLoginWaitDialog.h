#pragma once
#include "ModalDialog.h"
#include "zenuModule/src/desktop/RegLoginWaitDialog.h"

class QLabel;
class QProgressBar;

// The waiting dialog "CProgressRLDialog": a bar and two lines; only the core ends it.
class CQtRegLoginWaitDialog final : public CModalDialog, public IRegLoginWaitDialog {
 public:
  explicit CQtRegLoginWaitDialog(QWidget* parent = nullptr);

  int DoModal() override;
  void SetTitle(const CString& title) override;
  void SetRange(int max) override;
  void SetPos(int pos) override;
  void SetMaxWaitText(const CString& text) override;
  void SetWaitedText(const CString& text) override;
  void EndDialog(int result) override;

  QProgressBar* Bar() const { return m_pBar; }
  QLabel* MaxWaitLabel() const { return m_pMaxWait; }
  QLabel* WaitedLabel() const { return m_pWaited; }

 private:
  QProgressBar* m_pBar;
  QLabel* m_pMaxWait;
  QLabel* m_pWaited;
};
