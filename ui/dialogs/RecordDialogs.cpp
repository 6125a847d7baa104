#include "RecordDialogs.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/QtText.h"
#include "zenuModule/src/desktop/MessageBox.h"

CQtDeleteTaskDialog::CQtDeleteTaskDialog(QWidget* parent) : CModalDialog(false, parent) {
  setWindowTitle(QStringLiteral("删除电影提示"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 20, 24, 16);
  layout->setSpacing(14);
  m_pQuestion = new QLabel;
  m_pQuestion->setTextFormat(Qt::PlainText);
  m_pQuestion->setWordWrap(true);
  m_pQuestion->setMinimumWidth(320);
  layout->addWidget(m_pQuestion);
  m_pCheck = new QCheckBox(QStringLiteral("同时删除已下载文件"));
  layout->addWidget(m_pCheck);
  auto* row = ButtonRow();
  m_pOk = AddButton(row, QStringLiteral("确定"), true);
  m_pCancel = AddButton(row, QStringLiteral("取消"));
  layout->addLayout(row);
  connect(m_pOk, &QPushButton::clicked, this, [this] { Finish(IDOK); });
  connect(m_pCancel, &QPushButton::clicked, this, [this] { Finish(IDCANCEL); });
}

int CQtDeleteTaskDialog::DoModal(const CString& strQuestion, int* pbDeleteFiles) {
  BeginRun();
  m_pQuestion->setText(QStringFromGBK(strQuestion));
  m_pCheck->setChecked(true);
  adjustSize();
  m_pOk->setFocus();
  const int result = RunModal();
  if (result == IDOK && pbDeleteFiles) *pbDeleteFiles = m_pCheck->isChecked() ? 1 : 0;
  return result;
}

CQtSelectFileDialog::CQtSelectFileDialog(QWidget* parent) : CModalDialog(false, parent) {
  setWindowTitle(QStringLiteral("请选择播放文件"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  m_pList = new QListWidget;
  m_pList->setMinimumSize(420, 160);
  layout->addWidget(m_pList);
  auto* row = ButtonRow();
  m_pOk = AddButton(row, QStringLiteral("确定"), true);
  m_pCancel = AddButton(row, QStringLiteral("取消"));
  layout->addLayout(row);
  connect(m_pOk, &QPushButton::clicked, this, [this] { Finish(IDOK); });
  connect(m_pCancel, &QPushButton::clicked, this, [this] { Finish(IDCANCEL); });
  connect(m_pList, &QListWidget::itemDoubleClicked, this, [this] { Finish(IDOK); });
}

int CQtSelectFileDialog::DoModal(const std::vector<CString>& arrNames, CString& strChosen) {
  BeginRun();
  m_pList->clear();
  for (const CString& name : arrNames) m_pList->addItem(QStringFromGBK(name));
  if (m_pList->count() > 0) m_pList->setCurrentRow(0);
  m_pList->setFocus();
  const int result = RunModal();
  const QListWidgetItem* item = m_pList->currentItem();
  strChosen = result == IDOK && item ? GBKFromQString(item->text()) : CString();
  return result;
}
