#include "PromptDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/QtText.h"
#include "zenuModule/src/desktop/MessageBox.h"

CQtPromptDialog::CQtPromptDialog(QWidget* parent) : CModalDialog(false, parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 20, 24, 16);
  layout->setSpacing(16);
  m_pText = new QLabel;
  m_pText->setTextFormat(Qt::PlainText);
  m_pText->setWordWrap(true);
  m_pText->setMinimumWidth(380);
  m_pText->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(m_pText);
  auto* row = ButtonRow();
  m_pCheck = new QCheckBox;
  row->insertWidget(0, m_pCheck);
  m_pOk = AddButton(row, QStringLiteral("确定"), true);
  layout->addLayout(row);
  connect(m_pOk, &QPushButton::clicked, this,
          [this] { Finish(m_pCheck->isChecked() ? IDCANCEL : IDOK); });
}

int CQtPromptDialog::DoModal(const SPromptDlgData& data) {
  BeginRun();
  setWindowTitle(QStringFromGBK(data.strTitle));
  m_pText->setText(QStringFromGBK(data.strText));
  m_pCheck->setText(QStringFromGBK(data.strCheckText));
  m_pCheck->setChecked(false);
  adjustSize();
  m_pOk->setFocus();
  return RunModal();
}
