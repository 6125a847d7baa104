#include "PercentDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionProgressBar>
#include <algorithm>
#include <cmath>

void CPercentDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  const QVariant percent = index.data(kPercentRole);
  if (!percent.isValid()) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  // The row's stripe and selection first, then the bar inside a small margin.
  QStyleOptionViewItem cell = option;
  initStyleOption(&cell, index);
  cell.text.clear();
  const QWidget* widget = option.widget;
  QStyle* style = widget ? widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

  const double value = std::clamp(percent.toDouble(), 0.0, 100.0);
  QStyleOptionProgressBar bar;
  bar.rect = option.rect.adjusted(2, 2, -2, -2);
  bar.minimum = 0;
  bar.maximum = 1000;
  bar.progress = static_cast<int>(std::lround(value * 10));
  bar.text = index.data(Qt::DisplayRole).toString();
  bar.textVisible = true;
  bar.textAlignment = Qt::AlignCenter;
  bar.state = (option.state & QStyle::State_Enabled) | QStyle::State_Horizontal;
  bar.palette = option.palette;
  bar.fontMetrics = option.fontMetrics;
  bar.direction = option.direction;
  style->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
}
