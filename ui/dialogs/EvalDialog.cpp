#include "EvalDialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/qt/QtText.h"
#include "zenuModule/src/desktop/MessageBox.h"

CQtEvalDialog::CQtEvalDialog(QWidget* parent) : CModalDialog(false, parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 20, 24, 16);
  layout->setSpacing(12);
  m_pName = new QLabel;
  m_pName->setTextFormat(Qt::PlainText);
  m_pName->setWordWrap(true);
  QFont bold = m_pName->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.2);
  m_pName->setFont(bold);
  m_pLine = new QLabel;
  m_pLine->setTextFormat(Qt::PlainText);
  m_pLine->setWordWrap(true);
  layout->addWidget(m_pName);
  layout->addWidget(m_pLine);

  auto* box = new QGroupBox;
  auto* radios = new QVBoxLayout(box);
  radios->setSpacing(8);
  m_pGroup = new QButtonGroup(this);
  // Best score first, as the user reads down the list.
  for (int index = 4; index >= 0; --index) {
    m_pRadios[index] = new QRadioButton;
    m_pGroup->addButton(m_pRadios[index], index);
    radios->addWidget(m_pRadios[index]);
  }
  layout->addWidget(box);
  auto* row = ButtonRow();
  m_pOk = AddButton(row, QStringLiteral("确定"), true);
  layout->addLayout(row);
  connect(m_pOk, &QPushButton::clicked, this, [this] { Finish(IDOK); });
  setMinimumWidth(340);
}

void CQtEvalDialog::DoModal(SEvalDlgData& data) {
  BeginRun();
  setWindowTitle(QStringFromGBK(data.strTitle));
  m_pName->setText(QStringFromGBK(data.strRecordName));
  m_pLine->setText(QStringFromGBK(data.strLine));
  for (int index = 0; index < 5; ++index)
    m_pRadios[index]->setText(QStringFromGBK(data.strScoreTexts[index]));
  if (data.iSelection >= 0 && data.iSelection <= 4) {
    m_pRadios[data.iSelection]->setChecked(true);
  } else if (QAbstractButton* checked = m_pGroup->checkedButton()) {
    // Nothing valid to show: no radio is selected.
    m_pGroup->setExclusive(false);
    checked->setChecked(false);
    m_pGroup->setExclusive(true);
  }
  adjustSize();
  m_pOk->setFocus();
  RunModal();
  // No cancel: however it closed, the current selection stands.
  if (m_pGroup->checkedId() >= 0) data.iSelection = m_pGroup->checkedId();
}
