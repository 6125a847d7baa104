#pragma once
#include "ModalDialog.h"
#include "zenuModule/src/desktop/DownloadProgressDialog.h"

class QLabel;

// "下载进度": the three lines the core writes; only the core ends it.
class CQtDownloadProgressDialog final : public CModalDialog, public IDownloadProgressDialog {
 public:
  explicit CQtDownloadProgressDialog(QWidget* parent = nullptr);
  int DoModal() override;
  void SetText(const CString& text) override;
  void EndDialog(int result) override;

  QLabel* TextLabel() const { return m_pText; }

 private:
  QLabel* m_pText;
};
