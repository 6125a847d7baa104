#include "ConfigDialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "platform/qt/QtFolderChooser.h"
#include "platform/qt/QtText.h"
#include "settings/ConfigDoc.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
constexpr int kPushMethodResult = 1;

QString SystemFolderChooser(QWidget* parent, const QString& title, const QString& start) {
  return ChooseFolder(parent, title, start);
}
}  // namespace

CQtConfigDialog::CQtConfigDialog(QWidget* parent)
    : CModalDialog(false, parent), m_chooser(SystemFolderChooser) {
  setWindowTitle(QStringLiteral("程序设置"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 18, 20, 16);
  layout->setSpacing(14);

  auto* global = new QGroupBox(QStringLiteral("全局设置项"));
  auto* globalLayout = new QVBoxLayout(global);
  m_pAutoLogin = new QCheckBox(QStringLiteral("自动登录"));
  m_pAutoStart = new QCheckBox(QStringLiteral("开机时启动程序"));
  globalLayout->addWidget(m_pAutoLogin);
  globalLayout->addWidget(m_pAutoStart);
  auto* globalForm = new QFormLayout;
  m_pServer = new QLineEdit;
  m_pServer->setPlaceholderText(QStringLiteral("主机名或IP地址[:端口]"));
  globalForm->addRow(QStringLiteral("服务器"), m_pServer);
  m_pManager = new QLabel;
  m_pManager->setTextInteractionFlags(Qt::TextSelectableByMouse);
  globalForm->addRow(QStringLiteral("外部下载工具"), m_pManager);
  globalLayout->addLayout(globalForm);
  layout->addWidget(global);

  auto* user = new QGroupBox(QStringLiteral("单个用户设置项"));
  auto* grid = new QGridLayout(user);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(10);
  m_pAutoDownload = new QCheckBox(QStringLiteral("程序运行后自动启动下载"));
  grid->addWidget(m_pAutoDownload, 0, 0, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("下载保存目录")), 1, 0);
  m_pSaveas = new QLineEdit;
  m_pSaveas->setMinimumWidth(240);
  grid->addWidget(m_pSaveas, 1, 1);
  m_pChoose = new QPushButton(QStringLiteral("选择目录"));
  m_pChoose->setAutoDefault(false);
  grid->addWidget(m_pChoose, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("默认评价时间")), 2, 0);
  auto* days = new QHBoxLayout;
  m_pEvalDays = new QLineEdit;
  m_pEvalDays->setValidator(new QIntValidator(m_pEvalDays));
  m_pEvalDays->setMaximumWidth(80);
  days->addWidget(m_pEvalDays);
  days->addWidget(new QLabel(QStringLiteral("天")));
  days->addStretch(1);
  grid->addLayout(days, 2, 1, 1, 2);
  m_pShare = new QCheckBox(QStringLiteral("下载完成后继续分享"));
  grid->addWidget(m_pShare, 3, 0, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("上传限速")), 4, 0);
  auto* upload = new QHBoxLayout;
  m_pUploadLimit = new QSpinBox;
  m_pUploadLimit->setRange(0, CConfigDoc::kMaxUploadLimit);
  m_pUploadLimit->setSuffix(QStringLiteral(" KB/s"));
  m_pUploadLimit->setSpecialValueText(QStringLiteral("不限速"));
  upload->addWidget(m_pUploadLimit);
  upload->addStretch(1);
  grid->addLayout(upload, 4, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("最多同时分享")), 5, 0);
  auto* most = new QHBoxLayout;
  m_pMaxShared = new QSpinBox;
  m_pMaxShared->setRange(0, CConfigDoc::kMaxMaxShared);
  most->addWidget(m_pMaxShared);
  most->addWidget(new QLabel(QStringLiteral("部电影")));
  most->addStretch(1);
  grid->addLayout(most, 5, 1, 1, 2);
  // Limits of sharing mean nothing while it is off.
  connect(m_pShare, &QCheckBox::toggled, this, [this](bool on) {
    m_pUploadLimit->setEnabled(on);
    m_pMaxShared->setEnabled(on);
  });
  grid->setColumnStretch(1, 1);
  layout->addWidget(user);

  auto* row = new QHBoxLayout;
  m_pPushMethod = new QPushButton(QStringLiteral("设置电影推送方式"));
  m_pPushMethod->setAutoDefault(false);
  row->addWidget(m_pPushMethod);
  row->addStretch(1);
  m_pOk = AddButton(row, QStringLiteral("确定"), true);
  m_pCancel = AddButton(row, QStringLiteral("取消"));
  layout->addLayout(row);

  connect(m_pChoose, &QPushButton::clicked, this, [this] { OnChooseFolder(); });
  connect(m_pPushMethod, &QPushButton::clicked, this, [this] {
    m_bSetPushMethod = true;
    Finish(kPushMethodResult);
  });
  connect(m_pOk, &QPushButton::clicked, this, [this] {
    if (TakeValues()) Finish(IDOK);
  });
  connect(m_pCancel, &QPushButton::clicked, this, [this] { reject(); });
}

SConfigDlgOutcome CQtConfigDialog::Run(SConfigDlgValues& values) {
  BeginRun();
  m_values = values;
  m_bSetPushMethod = false;
  ShowValues();
  m_pOk->setFocus();
  SConfigDlgOutcome outcome;
  outcome.iResult = RunModal();
  outcome.bSetPushMethod = m_bSetPushMethod;
  values = m_values;
  return outcome;
}

void CQtConfigDialog::ShowValues() {
  m_pAutoLogin->setChecked(m_values.iAutoLogin != 0);
  m_pAutoStart->setChecked(m_values.bAutoStart != 0);
  m_pAutoDownload->setChecked(m_values.bAutoDownload != 0);
  m_pServer->setText(QStringFromGBK(m_values.strServiceHost));
  m_pManager->setText(QStringFromGBK(m_values.strDownloadManager));
  m_pSaveas->setText(QStringFromGBK(m_values.strSaveas));
  m_pEvalDays->setText(QString::number(m_values.iEvalDays));
  m_pShare->setChecked(m_values.bShareAfterDownload != 0);
  m_pUploadLimit->setValue(m_values.iUploadLimit);
  m_pMaxShared->setValue(m_values.iMaxShared);
  m_pUploadLimit->setEnabled(m_pShare->isChecked());
  m_pMaxShared->setEnabled(m_pShare->isChecked());
}

bool CQtConfigDialog::TakeValues() {
  bool bNumber = false;
  const int days = m_pEvalDays->text().trimmed().toInt(&bNumber);
  if (!bNumber) {
    ShowMessageBox(GBKFromQString(QStringLiteral("请输入一个整数。")), MB_OK | MB_ICONWARNING);
    m_pEvalDays->setFocus();
    m_pEvalDays->selectAll();
    return false;
  }
  m_values.iAutoLogin = m_pAutoLogin->isChecked() ? 1 : 0;
  m_values.bAutoStart = m_pAutoStart->isChecked() ? 1 : 0;
  m_values.bAutoDownload = m_pAutoDownload->isChecked() ? 1 : 0;
  m_values.strSaveas = GBKFromQString(m_pSaveas->text());
  m_values.strServiceHost = GBKFromQString(m_pServer->text().trimmed());
  m_values.iEvalDays = days;
  m_values.bShareAfterDownload = m_pShare->isChecked() ? 1 : 0;
  m_values.iUploadLimit = m_pUploadLimit->value();
  m_values.iMaxShared = m_pMaxShared->value();
  return true;
}

void CQtConfigDialog::OnChooseFolder() {
  const QString folder =
      m_chooser ? m_chooser(this, QStringLiteral("请选择需要打包的目录："), m_pSaveas->text())
                : QString();
  if (folder.isEmpty()) return;
  if (!TakeValues()) return;
  m_values.strSaveas = GBKFromQString(folder);
  ShowValues();
}
