#pragma once
#include <QWidget>

// Stands where the push list goes until that list is part of the program.
class CPushPlaceholderPane final : public QWidget {
  Q_OBJECT

 public:
  explicit CPushPlaceholderPane(QWidget* parent = nullptr);
};
