#include "PushPlaceholderPane.h"

#include <QLabel>
#include <QVBoxLayout>

CPushPlaceholderPane::CPushPlaceholderPane(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel(QStringLiteral("推送列表"), this);
  QFont font = title->font();
  font.setPointSize(font.pointSize() + 6);
  font.setBold(true);
  title->setFont(font);
  title->setAlignment(Qt::AlignCenter);
  auto* line = new QLabel(QStringLiteral("本版本尚不能显示推送列表。"), this);
  line->setAlignment(Qt::AlignCenter);
  layout->addStretch();
  layout->addWidget(title);
  layout->addWidget(line);
  layout->addStretch();
}
