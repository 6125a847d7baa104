#pragma once
#include "ModalDialog.h"
#include "zenuModule/src/desktop/PromptDialog.h"

class QCheckBox;
class QLabel;
class QPushButton;

// The usage-hint dialog: text, the not-again box and "确定".
class CQtPromptDialog final : public CModalDialog, public IPromptDialog {
 public:
  explicit CQtPromptDialog(QWidget* parent = nullptr);
  int DoModal(const SPromptDlgData& data) override;

  QLabel* TextLabel() const { return m_pText; }
  QCheckBox* CheckBox() const { return m_pCheck; }
  QPushButton* OkButton() const { return m_pOk; }

 private:
  QLabel* m_pText;
  QCheckBox* m_pCheck;
  QPushButton* m_pOk;
};
