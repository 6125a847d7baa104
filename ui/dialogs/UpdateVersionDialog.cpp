#include "UpdateVersionDialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/QtText.h"
#include "zenuModule/src/desktop/MessageBox.h"

namespace {
const char kTitle[] = "软件升级提示";

QLabel* ValueLabel() {
  auto* label = new QLabel;
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setWordWrap(true);
  return label;
}

QLabel* Caption(const char* text) {
  auto* label = new QLabel(QString::fromUtf8(text));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

// "立即下载更新" and "确定" ("确定" is the default).
void AddButtons(QVBoxLayout* layout, QPushButton*& download,
                QPushButton*& ok) {
  auto* row = CModalDialog::ButtonRow();
  download = CModalDialog::AddButton(row, QStringLiteral("立即下载更新"));
  ok = CModalDialog::AddButton(row, QStringLiteral("确定"), true);
  layout->addLayout(row);
}
}  // namespace

CQtUpdateVersionDialog::CQtUpdateVersionDialog(QWidget* parent) : CModalDialog(false, parent) {
  setWindowTitle(QString::fromUtf8(kTitle));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 20, 24, 16);
  layout->setSpacing(14);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(10);
  m_pCurrent = ValueLabel();
  m_pNew = ValueLabel();
  m_pFunction = new QPlainTextEdit;
  m_pFunction->setReadOnly(true);
  m_pFunction->setMinimumHeight(110);
  m_pUrl = ValueLabel();
  grid->addWidget(Caption("当前版本:"), 0, 0);
  grid->addWidget(m_pCurrent, 0, 1);
  grid->addWidget(Caption("最新版本: "), 1, 0);
  grid->addWidget(m_pNew, 1, 1);
  grid->addWidget(Caption("最新功能:"), 2, 0);
  grid->addWidget(m_pFunction, 2, 1);
  grid->addWidget(Caption("最新版本网址："), 3, 0);
  grid->addWidget(m_pUrl, 3, 1);
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);
  AddButtons(layout, m_pDownload, m_pOk);
  connect(m_pDownload, &QPushButton::clicked, this, [this] {
    if (auto onDownload = m_onDownload) onDownload();
  });
  connect(m_pOk, &QPushButton::clicked, this, [this] { Finish(IDOK); });
  setMinimumWidth(440);
}

void CQtUpdateVersionDialog::DoModal(const SUpdateVersionDlgData& data,
                                     const std::function<void()>& onDownload) {
  BeginRun();
  m_onDownload = onDownload;
  m_pCurrent->setText(QStringFromGBK(data.strCurrentDisplay));
  m_pNew->setText(QStringFromGBK(data.strNewDisplay));
  QString function = QStringFromGBK(data.strNewFunction);
  function.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  m_pFunction->setPlainText(function);
  m_pUrl->setText(QStringFromGBK(data.strUpdateUrl));
  m_pOk->setFocus();
  RunModal();
  m_onDownload = nullptr;
}

CQtVersionStopDialog::CQtVersionStopDialog(QWidget* parent) : CModalDialog(false, parent) {
  setWindowTitle(QString::fromUtf8(kTitle));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 20, 24, 16);
  layout->setSpacing(14);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(10);
  m_pCurrent = ValueLabel();
  m_pUrl = ValueLabel();
  auto* stop = new QLabel(QStringLiteral("该版本过旧，已经停用，请下载最新版本"));
  QFont bold = stop->font();
  bold.setBold(true);
  stop->setFont(bold);
  stop->setStyleSheet(QStringLiteral("color: #b3261e;"));
  grid->addWidget(Caption("当前版本:"), 0, 0);
  grid->addWidget(m_pCurrent, 0, 1);
  grid->addWidget(stop, 1, 0, 1, 2);
  grid->addWidget(Caption("最新版本网址:"), 2, 0);
  grid->addWidget(m_pUrl, 2, 1);
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);
  AddButtons(layout, m_pDownload, m_pOk);
  connect(m_pDownload, &QPushButton::clicked, this, [this] {
    if (auto onDownload = m_onDownload) onDownload();
  });
  connect(m_pOk, &QPushButton::clicked, this, [this] { Finish(IDOK); });
  setMinimumWidth(400);
}

void CQtVersionStopDialog::DoModal(const SVersionStopDlgData& data,
                                   const std::function<void()>& onDownload) {
  BeginRun();
  m_onDownload = onDownload;
  m_pCurrent->setText(QStringFromGBK(data.strCurrentDisplay));
  m_pUrl->setText(QStringFromGBK(data.strUpdateUrl));
  m_pOk->setFocus();
  RunModal();
  m_onDownload = nullptr;
}
