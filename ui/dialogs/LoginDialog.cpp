#include "LoginDialog.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "Banner.h"
#include "platform/qt/QtText.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/desktop/MessageBox.h"

namespace {
constexpr int kBannerWidth = 400;
constexpr int kBannerHeight = 96;
}  // namespace

CQtLoginDialog::CQtLoginDialog(QWidget* parent) : CRegLoginDialog(parent) {
  setWindowTitle(QStringLiteral("用户登录"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 16);
  outer->setSpacing(0);
  m_pBanner = new QLabel;
  m_pBanner->setAlignment(Qt::AlignCenter);
  outer->addWidget(m_pBanner);

  auto* body = new QVBoxLayout;
  body->setContentsMargins(28, 20, 28, 0);
  body->setSpacing(14);
  auto* form = new QFormLayout;
  form->setHorizontalSpacing(12);
  form->setVerticalSpacing(10);
  m_pUser = new QLineEdit;
  m_pPassword = new QLineEdit;
  m_pPassword->setEchoMode(QLineEdit::Password);
  form->addRow(QStringLiteral("用户名:"), m_pUser);
  form->addRow(QStringLiteral("密码:"), m_pPassword);
  m_pServer = new QLineEdit;
  m_pServer->setPlaceholderText(QStringLiteral("主机名或IP地址[:端口]"));
  m_pServer->setToolTip(
      QStringLiteral("服务的地址，例如 192.168.1.5、192.168.1.5:8088 或 https://films.lan"));
  form->addRow(QStringLiteral("服务器:"), m_pServer);
  body->addLayout(form);

  auto* row = new QHBoxLayout;
  m_pRegister = new QPushButton(QStringLiteral("十秒钟注册"));
  m_pRegister->setAutoDefault(false);
  m_pRegister->setFlat(true);
  m_pRegister->setCursor(Qt::PointingHandCursor);
  m_pRegister->setStyleSheet(
      QStringLiteral("QPushButton { color: #1f6fb2; border: none; }"
                     "QPushButton:hover { text-decoration: underline; }"));
  row->addWidget(m_pRegister);
  row->addStretch(1);
  m_pLogin = AddButton(row, QStringLiteral("登录"), true);
  m_pCancel = AddButton(row, QStringLiteral("取消"));
  body->addLayout(row);
  outer->addLayout(body);

  connect(m_pLogin, &QPushButton::clicked, this, [this] { OnLogin(); });
  connect(m_pRegister, &QPushButton::clicked, this, [this] { OnRegister(); });
  connect(m_pCancel, &QPushButton::clicked, this, [this] { reject(); });
  setFixedWidth(kBannerWidth);
}

void CQtLoginDialog::LoadBanner() {
  const QString path = QStringFromGBK(GetExePath(0) + "skin/reglog.bmp");
  QPixmap picture = LoginBanner(path, kBannerWidth, kBannerHeight);
  if (picture.width() > kBannerWidth)
    picture = picture.scaledToWidth(kBannerWidth, Qt::SmoothTransformation);
  m_pBanner->setPixmap(picture);
}

void CQtLoginDialog::FocusFirstEmpty() {
  (m_pUser->text().isEmpty() ? m_pUser : m_pPassword)->setFocus();
}

int CQtLoginDialog::DoModal(const RegLoginEventSink& onEvent) {
  return RunWithSink(onEvent, [this] {
    m_pUser->clear();
    m_pPassword->clear();
    m_pServer->clear();
    LoadBanner();
    SRegLoginDlgEvent opening;
    opening.iType = 4;
    Send(opening);
    FocusFirstEmpty();
  });
}

void CQtLoginDialog::OnLogin() {
  SRegLoginDlgEvent evt;
  evt.iType = 1;
  evt.strText1 = GBKFromQString(m_pUser->text());
  evt.strText2 = GBKFromQString(m_pPassword->text());
  evt.strText3 = GBKFromQString(m_pServer->text());
  Submit(evt);
}

void CQtLoginDialog::OnRegister() {
  SRegLoginDlgEvent evt;
  evt.iType = 2;
  evt.strText1 = GBKFromQString(m_pServer->text());
  Send(evt);
}

void CQtLoginDialog::OnUpdate(const SRegLoginDlgEvent& evt) {
  if (CloseOnUpdate(evt)) return;
  if (evt.iType == 1) {
    m_pUser->setText(QStringFromGBK(evt.strText1));
    m_pPassword->setText(QStringFromGBK(evt.strText2));
    if (!evt.strText3.empty()) m_pServer->setText(QStringFromGBK(evt.strText3));
    FocusFirstEmpty();
  }
}

void CQtLoginDialog::EndDialog(int result) { Finish(result); }

void CQtLoginDialog::BringToFront() {
  if (!isVisible()) return;
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  showNormal();
  raise();
  activateWindow();
}
