#pragma once
#include <QStyledItemDelegate>

// Draws a percent cell as a progress bar with its text, as download lists do.
class CPercentDelegate final : public QStyledItemDelegate {
  Q_OBJECT

 public:
  // The model gives the percent (0 to 100) under this role.
  static constexpr int kPercentRole = Qt::UserRole + 1;

  explicit CPercentDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};
