#include "RegisterDialog.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/QtText.h"
#include "zenuModule/src/desktop/MessageBox.h"

CQtRegisterDialog::CQtRegisterDialog(QWidget* parent) : CRegLoginDialog(parent) {
  setWindowTitle(QStringLiteral("注册新用户"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(24, 20, 24, 16);
  outer->setSpacing(14);
  auto* form = new QFormLayout;
  form->setHorizontalSpacing(12);
  form->setVerticalSpacing(10);
  m_pUser = new QLineEdit;
  m_pPassword = new QLineEdit;
  m_pPassword->setEchoMode(QLineEdit::Password);
  m_pPassword2 = new QLineEdit;
  m_pPassword2->setEchoMode(QLineEdit::Password);
  form->addRow(QStringLiteral("用户名:"), m_pUser);
  form->addRow(QStringLiteral("密码:"), m_pPassword);
  form->addRow(QStringLiteral("确认密码:"), m_pPassword2);
  outer->addLayout(form);
  auto* row = ButtonRow();
  m_pRegister = AddButton(row, QStringLiteral("注册"), true);
  m_pCancel = AddButton(row, QStringLiteral("取消"));
  outer->addLayout(row);
  connect(m_pRegister, &QPushButton::clicked, this, [this] { OnRegister(); });
  connect(m_pCancel, &QPushButton::clicked, this, [this] { reject(); });
  setMinimumWidth(360);
}

int CQtRegisterDialog::DoModal(const RegLoginEventSink& onEvent) {
  return RunWithSink(onEvent, [this] {
    m_pUser->clear();
    m_pPassword->clear();
    m_pPassword2->clear();
    m_pUser->setFocus();
  });
}

void CQtRegisterDialog::OnRegister() {
  SRegLoginDlgEvent evt;
  evt.iType = 0;
  evt.strText1 = GBKFromQString(m_pUser->text());
  evt.strText2 = GBKFromQString(m_pPassword->text());
  evt.strText3 = GBKFromQString(m_pPassword2->text());
  Submit(evt);
}

void CQtRegisterDialog::OnUpdate(const SRegLoginDlgEvent& evt) { CloseOnUpdate(evt); }

void CQtRegisterDialog::EndDialog(int result) { Finish(result); }

void CQtRegisterDialog::BringToFront() {
  if (!isVisible()) return;
  showNormal();
  raise();
  activateWindow();
}
