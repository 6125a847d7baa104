#include "MsgBoxDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/QtText.h"
#include "zenuModule/src/desktop/MessageBox.h"

CQtMsgBoxDialog::CQtMsgBoxDialog(QWidget* parent) : CModalDialog(false, parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 20, 24, 16);
  layout->setSpacing(16);
  m_pText = new QLabel;
  m_pText->setTextFormat(Qt::PlainText);
  m_pText->setWordWrap(true);
  m_pText->setMinimumWidth(320);
  m_pText->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(m_pText, 1);
  auto* row = ButtonRow();
  m_pOk = AddButton(row, QStringLiteral("确定"), true);
  layout->addLayout(row);
  connect(m_pOk, &QPushButton::clicked, this, [this] { Finish(IDOK); });
}

void CQtMsgBoxDialog::DoModal(const SMsgBoxData& data) {
  BeginRun();
  setWindowTitle(QStringFromGBK(data.strTitle));
  m_pText->setText(QStringFromGBK(data.strText));
  adjustSize();
  m_pOk->setFocus();
  RunModal();
}
