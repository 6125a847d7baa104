#pragma once
#include "ModalDialog.h"
#include "zenuModule/src/desktop/MsgBox.h"

class QLabel;
class QPushButton;

// The plain message dialog "CMsgBox": text and "确定".
class CQtMsgBoxDialog final : public CModalDialog, public IMsgBox {
 public:
  explicit CQtMsgBoxDialog(QWidget* parent = nullptr);
  void DoModal(const SMsgBoxData& data) override;

  QLabel* TextLabel() const { return m_pText; }
  QPushButton* OkButton() const { return m_pOk; }

 private:
  QLabel* m_pText;
  QPushButton* m_pOk;
};
