#pragma once
#include "RegLoginDialog.h"
#include "zenuModule/src/desktop/LoginDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

// The login dialog "CLoginDialog2": banner, name, password, the service address
// "服务器", "登录" and "十秒钟注册".
class CQtLoginDialog final : public CRegLoginDialog, public ILoginDialog {
 public:
  explicit CQtLoginDialog(QWidget* parent = nullptr);

  int DoModal(const RegLoginEventSink& onEvent) override;
  void OnUpdate(const SRegLoginDlgEvent& evt) override;
  void EndDialog(int result) override;
  void BringToFront() override;

  QLineEdit* UserEdit() const { return m_pUser; }
  QLineEdit* PasswordEdit() const { return m_pPassword; }
  QLineEdit* ServerEdit() const { return m_pServer; }
  QPushButton* LoginButton() const { return m_pLogin; }
  QPushButton* RegisterButton() const { return m_pRegister; }
  QPushButton* CancelButton() const { return m_pCancel; }
  QLabel* Banner() const { return m_pBanner; }

 private:
  void OnLogin();
  void OnRegister();
  void LoadBanner();
  void FocusFirstEmpty();

  QLabel* m_pBanner;
  QLineEdit* m_pUser;
  QLineEdit* m_pPassword;
  QLineEdit* m_pServer;
  QPushButton* m_pLogin;
  QPushButton* m_pRegister;
  QPushButton* m_pCancel;
};
