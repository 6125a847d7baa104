#include "RegLoginWaitDialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "platform/qt/QtText.h"

CQtRegLoginWaitDialog::CQtRegLoginWaitDialog(QWidget* parent) : CModalDialog(true, parent) {
  setWindowFlag(Qt::WindowCloseButtonHint, false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 20, 24, 20);
  layout->setSpacing(10);
  m_pBar = new QProgressBar;
  m_pBar->setTextVisible(false);
  m_pBar->setMinimumWidth(320);
  m_pMaxWait = new QLabel;
  m_pWaited = new QLabel;
  layout->addWidget(m_pBar);
  layout->addWidget(m_pMaxWait);
  layout->addWidget(m_pWaited);
}

int CQtRegLoginWaitDialog::DoModal() {
  BeginRun();
  return RunModal();
}

void CQtRegLoginWaitDialog::SetTitle(const CString& title) {
  setWindowTitle(QStringFromGBK(title));
}

void CQtRegLoginWaitDialog::SetRange(int max) { m_pBar->setRange(0, max); }

void CQtRegLoginWaitDialog::SetPos(int pos) { m_pBar->setValue(pos); }

void CQtRegLoginWaitDialog::SetMaxWaitText(const CString& text) {
  m_pMaxWait->setText(QStringFromGBK(text));
}

void CQtRegLoginWaitDialog::SetWaitedText(const CString& text) {
  m_pWaited->setText(QStringFromGBK(text));
}

void CQtRegLoginWaitDialog::EndDialog(int result) { Finish(result); }
