#pragma once
#include "RegLoginDialog.h"
#include "zenuModule/src/desktop/RegisterDialog.h"

class QLineEdit;
class QPushButton;

// The registration dialog "CRegDialog2": name, password twice and "注册".
class CQtRegisterDialog final : public CRegLoginDialog, public IRegisterDialog {
 public:
  explicit CQtRegisterDialog(QWidget* parent = nullptr);

  int DoModal(const RegLoginEventSink& onEvent) override;
  void OnUpdate(const SRegLoginDlgEvent& evt) override;
  void EndDialog(int result) override;
  void BringToFront() override;

  QLineEdit* UserEdit() const { return m_pUser; }
  QLineEdit* PasswordEdit() const { return m_pPassword; }
  QLineEdit* Password2Edit() const { return m_pPassword2; }
  QPushButton* RegisterButton() const { return m_pRegister; }
  QPushButton* CancelButton() const { return m_pCancel; }

 private:
  void OnRegister();

  QLineEdit* m_pUser;
  QLineEdit* m_pPassword;
  QLineEdit* m_pPassword2;
  QPushButton* m_pRegister;
  QPushButton* m_pCancel;
};
