#include "DownloadProgressDialog.h"

#include <QLabel>
#include <QVBoxLayout>

#include "platform/qt/QtText.h"

CQtDownloadProgressDialog::CQtDownloadProgressDialog(QWidget* parent) : CModalDialog(true, parent) {
  setWindowTitle(QStringLiteral("下载进度"));
  setWindowFlag(Qt::WindowCloseButtonHint, false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 20, 24, 20);
  m_pText = new QLabel;
  m_pText->setTextFormat(Qt::PlainText);
  m_pText->setWordWrap(true);
  m_pText->setMinimumWidth(380);
  m_pText->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_pText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Room for the three lines from the start, so the window does not jump.
  const QRect lines = m_pText->fontMetrics().boundingRect(
      QRect(0, 0, 1000, 1000), Qt::AlignLeft, QStringLiteral("文件名:\n下载速度:\n下载进度:"));
  m_pText->setMinimumHeight(lines.height() + 6);
  layout->addWidget(m_pText);
}

int CQtDownloadProgressDialog::DoModal() {
  BeginRun();
  // Until the first figures arrive the window says what it waits for.
  m_pText->setText(QStringLiteral("正在连接下载地址…"));
  return RunModal();
}

void CQtDownloadProgressDialog::SetText(const CString& text) {
  QString shown = QStringFromGBK(text);
  // The text ends in a line break that would only add an empty fourth line.
  while (shown.endsWith(QLatin1Char('\n'))) shown.chop(1);
  m_pText->setText(shown);
  layout()->activate();
  if (sizeHint().height() > height()) resize(width(), sizeHint().height());
}

void CQtDownloadProgressDialog::EndDialog(int result) { Finish(result); }
