#pragma once
#include <QAbstractTableModel>
#include <QTableView>

class QTimer;

#include "push/PushViews.h"

class CPushDoc;

// A virtual model: the push engine answers each cell when it is painted.
class CRecordListModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit CRecordListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void SetCount(int iCount);
  void RefreshRow(int iRow);

 private:
  int m_iCount = 0;
};

// The record list of the push frame; reports user actions to the push engine.
class CRecordListView final : public QTableView, public IRecordListView {
  Q_OBJECT

 public:
  static constexpr QRgb kEvenRow = 0xFFD6E7FF;  // RGB(214, 231, 255)
  static constexpr QRgb kOddRow = 0xFFFDFDFD;   // RGB(253, 253, 253)

  explicit CRecordListView(QWidget* parent = nullptr);
  ~CRecordListView() override;

  // Where the column widths and order are kept between runs.
  static QString HeaderStateFile();

  void OnRecordViewUpdate(const SRecordViewData& data) override;
  CRecordListModel* Model() const { return m_pModel; }
  bool IsNotifyingSelection() const { return m_bNotifySelection; }
  // Reports a selection held back while Shift or Ctrl was down; a command must
  // act on what the user sees selected, not on the last reported rows.
  void FlushSelection();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void Send(SRecordViewEvent& evt);
  void SetSelectedRecords();
  void OnClicked(const QModelIndex& index);
  void OnDoubleClicked(const QModelIndex& index);
  void RestoreHeader();
  void SaveHeader();

  CRecordListModel* m_pModel;
  bool m_bNotifySelection = true;
  bool m_bReloading = false;
  bool m_bSelectionPending = false;
  QTimer* m_pSaveHeader;
};
