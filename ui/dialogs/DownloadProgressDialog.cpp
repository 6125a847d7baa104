#include "DownloadProgressDialog.h"

#include <QLabel>
#include <QVBoxLayout>

#include "platform/qt/QtText.h"

CQtDownloadProgressDialog::CQtDownloadProgressDialog(QWidget* parent)
    : CModalDialog(true, parent) {
  setWindowTitle(QStringLiteral("下载进度"));
  setWindowFlag(Qt::WindowCloseButtonHint, false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 20, 24, 20);
  m_pText = new QLabel;
  m_pText->setTextFormat(Qt::PlainText);
  m_pText->setWordWrap(true);
  m_pText->setMinimumWidth(380);
  m_pText->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(m_pText);
}

int CQtDownloadProgressDialog::DoModal() {
  BeginRun();
  return RunModal();
}

void CQtDownloadProgressDialog::SetText(const CString& text) {
  m_pText->setText(QStringFromGBK(text));
}

void CQtDownloadProgressDialog::EndDialog(int result) { Finish(result); }
