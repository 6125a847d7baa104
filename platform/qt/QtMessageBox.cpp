#include "QtMessageBox.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <algorithm>

#include "QtText.h"

namespace {
const char kTitle[] = "Vadeko";
// A title bar also holds the window's icon and its buttons; Qt sizes a box for
// the title's text alone, and a short message then gets "Va…o".
constexpr int kTitleBarRoom = 240;
constexpr int kMinWidth = 320;

QMessageBox::Icon IconOf(unsigned type) {
  switch (type & 0xF0u) {
    case MB_ICONERROR:
      return QMessageBox::Critical;
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONWARNING:
      return QMessageBox::Warning;
    case MB_ICONINFORMATION:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

int ResultOf(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Cancel:
      return IDCANCEL;
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    default:
      return IDOK;
  }
}
}  // namespace

int CQtMessageBox::Show(const CString& text, unsigned type) {
  QMessageBox box(IconOf(type), QString::fromUtf8(kTitle), QStringFromGBK(text),
                  QMessageBox::NoButton, QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    const int width =
        std::max(kMinWidth, box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarRoom);
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  QMessageBox::StandardButton first = QMessageBox::Ok;
  switch (type & 0xFu) {
    case MB_OKCANCEL:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case MB_YESNOCANCEL:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setEscapeButton(QMessageBox::Cancel);
      first = QMessageBox::Yes;
      break;
    case MB_YESNO:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setEscapeButton(QMessageBox::No);
      first = QMessageBox::Yes;
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Ok);
      break;
  }
  box.setDefaultButton(first);
  if (auto* b = box.button(QMessageBox::Ok)) b->setText(QStringLiteral("确定"));
  if (auto* b = box.button(QMessageBox::Cancel)) b->setText(QStringLiteral("取消"));
  if (auto* b = box.button(QMessageBox::Yes)) b->setText(QStringLiteral("是"));
  if (auto* b = box.button(QMessageBox::No)) b->setText(QStringLiteral("否"));
  box.exec();
  auto* clicked = box.clickedButton();
  // Closed without a button: the escape button's answer, as Windows gives.
  return ResultOf(clicked ? box.standardButton(clicked) : box.standardButton(box.escapeButton()));
}
