#include "RecordListView.h"

#include <QColor>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSettings>
#include <QTimer>
#include <QToolTip>
#include <algorithm>

#include "PercentDelegate.h"
#include "platform/qt/QtText.h"
#include "push/PushDoc.h"
#include "push/RecordCellText.h"
#include "zenuModule/src/CatchApp.h"
#include "zenuModule/src/PathHelpers.h"

namespace {
constexpr int kPercentColumn = 1;
constexpr int kNameColumn = 0;
// 推荐指数: its tooltip tells why the movie was pushed.
constexpr int kExpectColumn = 7;
const char* const kHeaderKey = "RecordList/Header";

void ToDoc(SRecordViewEvent& evt) {
  CCatchApp::Dispatch([&] { CPushDoc::GetInstance()->OnRecordViewEvent(evt); });
}

CString RawCell(const QModelIndex& index) {
  SRecordViewEvent evt;
  evt.iType = 6;
  evt.iRow = static_cast<uint32_t>(index.row());
  evt.iColumn = static_cast<uint32_t>(index.column());
  ToDoc(evt);
  return evt.strText;
}

CString CellToolTip(int iRow, int iColumn) {
  SRecordViewEvent evt;
  evt.iType = kRecordViewToolTip;
  evt.iRow = static_cast<uint32_t>(iRow);
  evt.iColumn = static_cast<uint32_t>(iColumn);
  ToDoc(evt);
  return evt.strText;
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
    case Qt::DisplayRole:
      return QStringFromGBK(DisplayPretty(static_cast<uint32_t>(index.column()), RawCell(index)));
    case CPercentDelegate::kPercentRole:
      if (index.column() != kPercentColumn) return {};
      return QStringFromGBK(RawCell(index)).toDouble();
    case Qt::BackgroundRole:
      return QColor::fromRgb(index.row() % 2 == 0 ? CRecordListView::kEvenRow
                                                  : CRecordListView::kOddRow);
    case Qt::ForegroundRole:
      return QColor(Qt::black);
    case Qt::ToolTipRole:
      // Asked only when the tooltip is about to show; the answer may come later.
      if (index.column() != kExpectColumn) return {};
      return QStringFromGBK(CellToolTip(index.row(), index.column()));
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
    : QTableView(parent), m_pModel(new CRecordListModel(this)), m_pSaveHeader(new QTimer(this)) {
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
  header->setSectionsMovable(true);
  header->setStretchLastSection(false);
  RestoreHeader();
  setItemDelegateForColumn(kPercentColumn, new CPercentDelegate(this));
  // A drag resizes many times: the state is written once it settles.
  m_pSaveHeader->setSingleShot(true);
  m_pSaveHeader->setInterval(500);
  connect(m_pSaveHeader, &QTimer::timeout, this, &CRecordListView::SaveHeader);
  connect(header, &QHeaderView::sectionResized, m_pSaveHeader, qOverload<>(&QTimer::start));
  connect(header, &QHeaderView::sectionMoved, m_pSaveHeader, qOverload<>(&QTimer::start));
  // The stripes come from the model; the selection keeps the system colour.
  setAlternatingRowColors(false);

  connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
    SRecordViewEvent evt;
    evt.iType = 5;
    evt.iSortColumn = static_cast<uint32_t>(column);
    Send(evt);
  });
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (m_bReloading) return;
    if (m_bNotifySelection) {
      SetSelectedRecords();
    } else {
      m_bSelectionPending = true;
    }
  });
  connect(this, &QAbstractItemView::clicked, this, &CRecordListView::OnClicked);
  connect(this, &QAbstractItemView::doubleClicked, this, &CRecordListView::OnDoubleClicked);
  CPushDoc::GetInstance()->SetRecordView(this);
}

CRecordListView::~CRecordListView() {
  if (m_pSaveHeader->isActive()) SaveHeader();
  if (CPushDoc::HasInstance()) CPushDoc::GetInstance()->SetRecordView(nullptr);
}

void CRecordListView::Send(SRecordViewEvent& evt) { ToDoc(evt); }

QString CRecordListView::HeaderStateFile() {
  return QStringFromGBK(GetExePath(0)) + QStringLiteral("ListView.ini");
}

void CRecordListView::RestoreHeader() {
  QHeaderView* header = horizontalHeader();
  const QByteArray state =
      QSettings(HeaderStateFile(), QSettings::IniFormat).value(kHeaderKey).toByteArray();
  if (!state.isEmpty() && !header->restoreState(state)) {
    for (int c = 0; c < kRecordColumnCount; ++c) setColumnWidth(c, RecordColumnWidth(c));
  }
  // Whatever was stored, the name takes the width the other columns leave.
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
  header->setSortIndicatorShown(false);
}

void CRecordListView::SaveHeader() {
  m_pSaveHeader->stop();
  QSettings settings(HeaderStateFile(), QSettings::IniFormat);
  settings.setValue(kHeaderKey, horizontalHeader()->saveState());
}

void CRecordListView::FlushSelection() {
  if (m_bSelectionPending) SetSelectedRecords();
}

void CRecordListView::SetSelectedRecords() {
  m_bSelectionPending = false;
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

void CRecordListView::OnDoubleClicked(const QModelIndex& index) {
  if (!index.isValid()) return;
  FlushSelection();
  SRecordViewEvent evt;
  evt.iType = kRecordViewDoubleClick;
  evt.arrRows.push_back(static_cast<uint32_t>(index.row()));
  Send(evt);
}

void CRecordListView::OnRecordViewUpdate(const SRecordViewData& data) {
  switch (data.iType) {
    case 0: {
      m_bReloading = true;
      m_bSelectionPending = false;
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
    case 3: {
      // The reason arrived while its tooltip shows: show it in its place.
      const QModelIndex under = indexAt(viewport()->mapFromGlobal(QCursor::pos()));
      if (QToolTip::isVisible() && under.row() == static_cast<int>(data.iIndex) &&
          under.column() == kExpectColumn)
        QToolTip::showText(QCursor::pos(), QStringFromGBK(CellToolTip(under.row(), kExpectColumn)),
                           viewport(), visualRect(under));
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
  QTableView::keyReleaseEvent(event);
  if (event->key() == Qt::Key_Shift || event->key() == Qt::Key_Control) {
    m_bNotifySelection = true;
    FlushSelection();
  }
}

void CRecordListView::focusOutEvent(QFocusEvent* event) {
  // A key released elsewhere never reaches the list.
  m_bNotifySelection = true;
  FlushSelection();
  QTableView::focusOutEvent(event);
}

void CRecordListView::contextMenuEvent(QContextMenuEvent* event) {
  FlushSelection();
  SRecordViewEvent evt;
  evt.iType = 4;
  Send(evt);
  event->accept();
}
