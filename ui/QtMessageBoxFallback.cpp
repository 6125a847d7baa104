#include "QtMessageBoxFallback.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/qt/QtText.h"
#include "ui/frame/MainFrame.h"

int CQtMessageBoxFallback::Show(const CString& text, unsigned type) {
  QWidget* owner = QApplication::activeWindow();
  if (!owner) owner = CMainFrame::GetInstance();
  QMessageBox box(owner);
  box.setWindowTitle(QString());
  box.setText(QStringFromGBK(text));
  switch (type & 0xF0u) {
    case MB_ICONERROR:
      box.setIcon(QMessageBox::Critical);
      break;
    case MB_ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case MB_ICONWARNING:
      box.setIcon(QMessageBox::Warning);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      break;
  }
  switch (type & 0xFu) {
    case MB_OKCANCEL:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case MB_YESNOCANCEL:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
    case MB_YESNO:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Cancel:
      return IDCANCEL;
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    case QMessageBox::Ok:
      return IDOK;
    default:
      // Closed without a button: the box's cancel, or OK when it has none.
      return (type & 0xFu) == MB_OK ? IDOK : (type & 0xFu) == MB_YESNO ? IDNO : IDCANCEL;
  }
}
