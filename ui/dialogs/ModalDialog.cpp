#include "ModalDialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>

#include "zenuModule/src/desktop/MessageBox.h"

CModalDialog::CModalDialog(bool bOnlyCoreEnds, QWidget* parent)
    : QDialog(parent), m_bOnlyCoreEnds(bOnlyCoreEnds) {
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);
}

QHBoxLayout* CModalDialog::ButtonRow() {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  return row;
}

QPushButton* CModalDialog::AddButton(QHBoxLayout* row, const QString& text, bool bDefault) {
  auto* button = new QPushButton(text);
  button->setMinimumWidth(88);
  button->setAutoDefault(bDefault);
  button->setDefault(bDefault);
  row->addWidget(button);
  return button;
}

void CModalDialog::BeginRun() {
  m_bEnded = false;
  m_iResult = 0;
}

int CModalDialog::RunModal() {
  // A second run from inside the first would hide the dialog the first still waits on.
  if (m_bRunning) return IDCANCEL;
  if (!m_bEnded) {
    m_bRunning = true;
    exec();
    m_bRunning = false;
  }
  hide();
  return m_iResult;
}

void CModalDialog::Finish(int result) {
  if (m_bEnded) return;
  m_bEnded = true;
  m_iResult = result;
  done(result);
}

void CModalDialog::reject() {
  if (m_bOnlyCoreEnds && !m_bEnded) return;
  Finish(IDCANCEL);
}

void CModalDialog::closeEvent(QCloseEvent* event) {
  if (m_bOnlyCoreEnds && !m_bEnded) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}
