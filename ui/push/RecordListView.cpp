#include "RecordListView.h"

#include <QColor>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QScrollBar>
#include <algorithm>

#include "platform/qt/QtText.h"
#include "push/PushDoc.h"
#include "push/RecordCellText.h"
#include "zenuModule/src/CatchApp.h"

namespace {
void ToDoc(SRecordViewEvent& evt) {
  CCatchApp::Dispatch([&] { CPushDoc::GetInstance()->OnRecordViewEvent(evt); });
}
}  // namespace

int CRecordListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_iCount;
}

int CRecordListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kRecordColumnCount;
}

QVariant CRecordListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  switch (role) {
    case Qt::DisplayRole: {
      SRecordViewEvent evt;
      evt.iType = 6;
      evt.iRow = static_cast<uint32_t>(index.row());
      evt.iColumn = static_cast<uint32_t>(index.column());
      ToDoc(evt);
      return QStringFromGBK(DisplayPretty(evt.iColumn, evt.strText));
    }
    case Qt::BackgroundRole:
      return QColor::fromRgb(index.row() % 2 == 0 ? CRecordListView::kEvenRow
                                                  : CRecordListView::kOddRow);
    case Qt::ForegroundRole:
      return QColor(Qt::black);
    default:
      return {};
  }
}

QVariant CRecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || section >= kRecordColumnCount) return {};
  return QStringFromGBK(RecordColumnTitle(section));
}

void CRecordListModel::SetCount(int iCount) {
  beginResetModel();
  m_iCount = std::max(0, iCount);
  endResetModel();
}

void CRecordListModel::RefreshRow(int iRow) {
  if (iRow < 0 || iRow >= m_iCount) return;
  emit dataChanged(index(iRow, 0), index(iRow, kRecordColumnCount - 1));
}

CRecordListView::CRecordListView(QWidget* parent)
    : QTableView(parent), m_pModel(new CRecordListModel(this)) {
  setModel(m_pModel);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setWordWrap(false);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setSortingEnabled(false);
  setContextMenuPolicy(Qt::DefaultContextMenu);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  QHeaderView* header = horizontalHeader();
  header->setSectionsClickable(true);
  header->setHighlightSections(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setSortIndicatorShown(false);
  for (int c = 0; c < kRecordColumnCount; ++c) setColumnWidth(c, RecordColumnWidth(c));
  // The stripes come from the model; the selection keeps the system colour.
  setAlternatingRowColors(false);

  connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
    SRecordViewEvent evt;
    evt.iType = 5;
    evt.iSortColumn = static_cast<uint32_t>(column);
    Send(evt);
  });
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (m_bNotifySelection && !m_bReloading) SetSelectedRecords();
  });
  connect(this, &QAbstractItemView::clicked, this, &CRecordListView::OnClicked);
  CPushDoc::GetInstance()->SetRecordView(this);
}

CRecordListView::~CRecordListView() {
  if (CPushDoc::HasInstance()) CPushDoc::GetInstance()->SetRecordView(nullptr);
}

void CRecordListView::Send(SRecordViewEvent& evt) { ToDoc(evt); }

void CRecordListView::SetSelectedRecords() {
  SRecordViewEvent evt;
  for (const QModelIndex& index : selectionModel()->selectedRows())
    evt.arrRows.push_back(static_cast<uint32_t>(index.row()));
  std::sort(evt.arrRows.begin(), evt.arrRows.end());
  evt.iType = evt.arrRows.empty() ? 3 : 2;
  Send(evt);
}

void CRecordListView::OnClicked(const QModelIndex& index) {
  if (!index.isValid() || selectionModel()->selectedRows().size() > 1) return;
  SRecordViewEvent evt;
  evt.iType = 1;
  evt.arrRows.push_back(static_cast<uint32_t>(index.row()));
  Send(evt);
}

void CRecordListView::OnRecordViewUpdate(const SRecordViewData& data) {
  switch (data.iType) {
    case 0: {
      m_bReloading = true;
      m_pModel->SetCount(static_cast<int>(data.iCount));
      QHeaderView* header = horizontalHeader();
      header->setSortIndicatorShown(data.bSorted != 0);
      if (data.bSorted)
        header->setSortIndicator(static_cast<int>(data.iSortColumn),
                                 data.bAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
      selectionModel()->clearSelection();
      if (data.pSelRows) {
        for (uint32_t row : *data.pSelRows) {
          if (row >= data.iCount) continue;
          selectionModel()->select(m_pModel->index(static_cast<int>(row), 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
      }
      verticalScrollBar()->setValue(data.iTopRow);
      horizontalScrollBar()->setValue(data.iScrollX);
      m_bReloading = false;
      break;
    }
    case 1:
      m_pModel->RefreshRow(static_cast<int>(data.iIndex));
      break;
    case 2: {
      SRecordViewEvent evt;
      evt.iType = 7;
      evt.iVertPos = verticalScrollBar()->value();
      evt.iHorzPos = horizontalScrollBar()->value();
      Send(evt);
      break;
    }
    default:
      break;
  }
}

void CRecordListView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Shift || event->key() == Qt::Key_Control) m_bNotifySelection = false;
  QTableView::keyPressEvent(event);
}

void CRecordListView::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Shift || event->key() == Qt::Key_Control) m_bNotifySelection = true;
  QTableView::keyReleaseEvent(event);
}

void CRecordListView::contextMenuEvent(QContextMenuEvent* event) {
  SRecordViewEvent evt;
  evt.iType = 4;
  Send(evt);
  event->accept();
}
