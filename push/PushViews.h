#pragma once
#include <cstdint>
#include <vector>

#include "zenuModule/src/Types.h"

using CRowList = std::vector<uint32_t>;

struct SSortStatus {
  int bSort = 0;  // 0 = unsorted
  int iColumn = 0;
  int bAsc = 0;  // non-zero = ascending
};

struct SListScrollPos {
  int iVertPos = 0;  // rows
  int iHorzPos = 0;  // pixels
};

// Update of the record list view. 0 reload, 1 redraw one row, 2 report scroll,
// 3 the tooltip of row iIndex changed (shown again if it is showing).
struct SRecordViewData {
  int iType = 0;
  uint32_t iCount = 0;
  uint32_t iIndex = 0;
  const CRowList* pSelRows = nullptr;  // valid only during the call
  int bSorted = 0;
  uint32_t iSortColumn = 0;
  uint32_t bAscending = 0;
  int iTopRow = 0;
  int iScrollX = 0;
};

// Event of the record list view, answered by CPushDoc::OnRecordViewEvent.
// Beyond the list's own kinds 1 to 7: a double click on the row in arrRows.
constexpr int kRecordViewDoubleClick = 8;
// The tooltip of the cell at iRow, iColumn: strText (empty for none).
constexpr int kRecordViewToolTip = 9;
struct SRecordViewEvent {
  int iType = 0;
  CRowList arrRows;
  uint32_t iSortColumn = 0;
  uint32_t iRow = 0;
  uint32_t iColumn = 0;
  CString strText;
  int iVertPos = 0;
  int iHorzPos = 0;
};

// Update of the push frame: 0 record toolbar, 1 rating toolbar, 2 current
// category, 3 context menu, 4 record button state, 5 whether the selection can
// be watched while it downloads (iValue).
struct SPushFrameData {
  int iType = 0;
  int iShow = 0;  // 5 show, 0 hide
  int iCategory = 0;
  int iIndex = 0;
  int iValue = 0;
};

// The record list; answers a type-2 update synchronously with event 7.
class IRecordListView {
 public:
  virtual ~IRecordListView() = default;
  virtual void OnRecordViewUpdate(const SRecordViewData& data) = 0;
};

class IPushFrameView {
 public:
  virtual ~IPushFrameView() = default;
  virtual void OnPushFrameUpdate(const SPushFrameData& data) = 0;
};

// Update of the bulletin view: 0 show the page at strUrl (an empty address
// shows the placeholder), 2 run the shown page's "StartThunderDownload".
struct SBulletinViewData {
  int iType = 0;
  CString strUrl;
};

class IBulletinView {
 public:
  virtual ~IBulletinView() = default;
  virtual void OnBulletinViewUpdate(const SBulletinViewData& data) = 0;
};
