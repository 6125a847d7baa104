#include <cstdlib>
#include <cstring>
#include <ctime>

#include "push/PushDoc.h"
#include "push/RecordCellText.h"
#include "store/IntfDB.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/StringHelpers.h"

namespace {
// Play, Stop, Download, Delete per category; -1 leaves the button as it was.
const int kButtonStates[CPushDoc::kCategoryCount][4] = {
    {1, 0, 1, 1}, {0, 1, -1, 1}, {0, 0, 1, 0}, {0, 0, 1, 1}, {0, 0, 0, 1}, {0, 0, 1, 1},
};

const char* const kCellQueries[kRecordColumnCount] = {
    "select strTaskDisplayName from records where ulGID = %u ",
    "select fDownloadedPercent from records where ulGID = %u ",
    "select eStatus from records where ulGID = %u ",
    "select tlPushed from records where ulGID = %u ",
    nullptr,
    nullptr,
    "select iSize from records where ulGID = %u ",
    "select fExpectEval from records where ulGID = %u ",
    "select iEval from records where ulGID = %u ",
    "select tlStartDownloadTime from records where ulGID = %u ",
    "select strLocalAbsPath from records where ulGID = %u ",
};

CString CellValue(int iColumn, RecordGID gid) {
  CSqlRow row;
  if (!CIntfDB::GetInstance()->GetOneRecordBySql(StringFormat(kCellQueries[iColumn], gid), &row) ||
      row.empty())
    return CString();
  return row[0];
}

bool IsValidCategory(int i) { return i >= 0 && i < CPushDoc::kCategoryCount; }
}  // namespace

CString CPushDoc::CategoryQuery(int iCategory) {
  switch (iCategory) {
    case PC_DOWNLOADED:
      return StringFormat("select ulGID from records where eStatus = %d", RS_DOWNLOADED);
    case PC_DOWNLOADING:
      return StringFormat(
          "select ulGID from records where eStatus = %d or eStatus = %d or eStatus = %d ",
          RS_DOWNLOADING, RS_QUEUED, RS_STOPPED);
    case PC_DELETED:
      return StringFormat("select ulGID from records where eStatus = %d", RS_DELETED);
    case PC_NEWTASK:
      return StringFormat("select ulGID from records where eStatus = %d", RS_NEW);
    case PC_THUNDER:
      return StringFormat("select ulGID from records where eStatus = %d", RS_THUNDER);
    case PC_UNEVAL:
      return "select ulGID from records where iEval = 0";
    default:
      return CString();
  }
}

const char* CPushDoc::SortClause(int iColumn) {
  switch (iColumn) {
    case 0:
      return "%s order by strTaskDisplayName %s";
    case 1:
      return "%s order by fDownloadedPercent %s";
    case 2:
      return "%s order by eStatus %s";
    case 3:
      return "%s order by tlPushed %s";
    case 6:
      return "%s order by iSize %s";
    case 7:
      return "%s order by fExpectEval %s";
    case 8:
      return "%s order by iEval %s";
    case 9:
      return "%s order by tlStartDownloadTime %s";
    case 10:
      return "%s order by strStorePath %s";
    default:
      return nullptr;
  }
}

CString CPushDoc::CategorySql(int iCategory) const {
  CString sql = CategoryQuery(iCategory);
  const SSortStatus& s = m_arrSortStatus.at(iCategory);
  const char* clause = s.bSort ? SortClause(s.iColumn) : nullptr;
  if (clause) sql = StringFormat(clause, sql.c_str(), s.bAsc ? "" : " desc");
  return sql;
}

void CPushDoc::SendRecordView(const SRecordViewData& data) {
  if (m_pRecordView) m_pRecordView->OnRecordViewUpdate(data);
}

void CPushDoc::SendPushFrame(const SPushFrameData& data) {
  if (m_pPushFrame) m_pPushFrame->OnPushFrameUpdate(data);
}

void CPushDoc::DisplayCategory(int iCategory, RecordGID ulFocusGID, int iTopRow, int iScrollX) {
  OP_BEGIN("CPushDoc::DisplayCategory")
  if (!IsValidCategory(iCategory)) RAISE_ERROR("未知的电影分类: %d", iCategory);
  SRecordViewData report;
  report.iType = 2;
  SendRecordView(report);

  m_iCurCategory = iCategory;
  CIntfDB::GetInstance()->GetGIDListBySql(CategorySql(iCategory), &m_arrGIDs);
  m_mapGIDToRow.clear();
  for (size_t i = 0; i < m_arrGIDs.size(); ++i) m_mapGIDToRow[m_arrGIDs[i]] = static_cast<int>(i);

  CRowList rows;
  auto addRow = [&](RecordGID gid) {
    auto it = m_mapGIDToRow.find(gid);
    if (it != m_mapGIDToRow.end()) rows.push_back(static_cast<uint32_t>(it->second));
  };
  if (ulFocusGID == kReservedGID) {
    for (RecordGID gid : *m_arrCategorySel[iCategory]) addRow(gid);
  } else {
    addRow(ulFocusGID);
  }

  int iTop = iTopRow;
  if (iTop == kKeepValue) {
    if (ulFocusGID == kReservedGID) {
      iTop = m_arrScrollPos[iCategory].iVertPos;
    } else {
      // A focus id outside the category scrolls to the top.
      auto it = m_mapGIDToRow.find(ulFocusGID);
      iTop = it == m_mapGIDToRow.end() ? 0 : it->second;
    }
  }
  const int iX = iScrollX == kKeepValue ? m_arrScrollPos[iCategory].iHorzPos : iScrollX;

  const SSortStatus& s = m_arrSortStatus[iCategory];
  SRecordViewData reload;
  reload.iType = 0;
  reload.iCount = static_cast<uint32_t>(m_arrGIDs.size());
  reload.pSelRows = &rows;
  reload.bSorted = s.bSort;
  reload.iSortColumn = static_cast<uint32_t>(s.iColumn);
  reload.bAscending = static_cast<uint32_t>(s.bAsc);
  reload.iTopRow = iTop;
  reload.iScrollX = iX;
  SendRecordView(reload);
  // What is selected now is what the commands and the bulletin act on.
  SetSelectedGIDs(rows);
  FollowSelection();
  OP_END
}

void CPushDoc::FollowSelection() {
  UpdateHandOffPlayButton();
  if (m_arrSelectedGIDs.empty()) {
    ShowToolbars(0, 0);
    DisplayBulletin(0);
  } else if (m_arrSelectedGIDs.size() == 1) {
    ShowToolbars(5, 5);
    DisplayBulletin(m_arrSelectedGIDs.front());
  } else {
    ShowToolbars(5, -1);
  }
}

void CPushDoc::RefreshShownCategory() {
  OP_BEGIN("CPushDoc::RefreshShownCategory")
  if (IsValidCategory(m_iCurCategory)) {
    DisplayCategory(m_iCurCategory, kReservedGID, kKeepValue, kKeepValue);
  } else {
    // Nothing shown yet (the first start opens on the help): the new movies are.
    ChangeNewTaskEx(kReservedGID);
  }
  OP_END
}

void CPushDoc::SetCurCategoryOnFrame(int iCategory) {
  SPushFrameData data;
  data.iType = 2;
  data.iCategory = iCategory;
  SendPushFrame(data);
}

void CPushDoc::SetButtonStates(int iCategory) {
  for (int i = 0; i < 4; ++i) {
    if (kButtonStates[iCategory][i] < 0) continue;
    SPushFrameData data;
    data.iType = 4;
    data.iIndex = i;
    data.iValue = kButtonStates[iCategory][i];
    SendPushFrame(data);
  }
}

void CPushDoc::ChangeCategoryEx(int iCategory, RecordGID ulFocusGID) {
  SetCurCategoryOnFrame(iCategory);
  SetButtonStates(iCategory);
  DisplayCategory(iCategory, ulFocusGID, kKeepValue, kKeepValue);
}

void CPushDoc::ChangeDownloadedEx(RecordGID ulFocusGID) {
  OP_BEGIN("CPushDoc::ChangeDownloadedEx")
  ChangeCategoryEx(PC_DOWNLOADED, ulFocusGID);
  OP_END
}

void CPushDoc::ChangeDownloadingEx(RecordGID ulFocusGID) {
  OP_BEGIN("CPushDoc::ChangeDownloadingEx")
  ChangeCategoryEx(PC_DOWNLOADING, ulFocusGID);
  OP_END
}

void CPushDoc::ChangeDeletedEx(RecordGID ulFocusGID) {
  OP_BEGIN("CPushDoc::ChangeDeletedEx")
  ChangeCategoryEx(PC_DELETED, ulFocusGID);
  OP_END
}

void CPushDoc::ChangeNewTaskEx(RecordGID ulFocusGID) {
  OP_BEGIN("CPushDoc::ChangeNewTaskEx")
  ChangeCategoryEx(PC_NEWTASK, ulFocusGID);
  OP_END
}

void CPushDoc::ChangeThunderTaskEx(RecordGID ulFocusGID) {
  OP_BEGIN("CPushDoc::ChangeThunderTaskEx")
  if (m_iCurCategory == PC_THUNDER) return;
  ChangeCategoryEx(PC_THUNDER, ulFocusGID);
  OP_END
}

void CPushDoc::OnChangeDownloaded() { ChangeDownloadedEx(kReservedGID); }
void CPushDoc::OnChangeDownloading() { ChangeDownloadingEx(kReservedGID); }
void CPushDoc::OnChangeDeleted() { ChangeDeletedEx(kReservedGID); }
void CPushDoc::OnChangeNewTask() { ChangeNewTaskEx(kReservedGID); }
void CPushDoc::OnChangeThunder() { ChangeThunderTaskEx(kReservedGID); }

void CPushDoc::OnChangeUneval() {
  OP_BEGIN("CPushDoc::OnChangeUneval")
  ChangeCategoryEx(PC_UNEVAL, kReservedGID);
  OP_END
}

void CPushDoc::SetCategorySortStatus(const SRecordViewEvent& evt) {
  OP_BEGIN("CPushDoc::SetCategorySortStatus")
  if (!IsValidCategory(m_iCurCategory)) return;
  SSortStatus& s = m_arrSortStatus[m_iCurCategory];
  const int c = static_cast<int>(evt.iSortColumn);
  const bool toggle = s.bSort && s.iColumn == c && !s.bAsc;
  s.bSort = 1;
  s.iColumn = c;
  s.bAsc = toggle ? 1 : 0;
  OP_END
}

void CPushDoc::GetRecordSubItem(SRecordViewEvent& evt) {
  OP_BEGIN("CPushDoc::GetRecordSubItem")
  evt.strText.clear();
  // The view may still paint rows of a list that has since been reloaded.
  if (evt.iRow >= m_arrGIDs.size() || evt.iColumn >= static_cast<uint32_t>(kRecordColumnCount))
    return;
  const RecordGID gid = m_arrGIDs[evt.iRow];
  const int col = static_cast<int>(evt.iColumn);
  if (col == 4 || col == 5) {
    CRecord rec;
    if (!CIntfDB::GetInstance()->GetOneRecordData(gid, &rec)) return;
    if (rec.GetStatus() != RS_DOWNLOADING) return;
    if (col == 4) {
      evt.strText = rec.GetRate() > 0
                        ? StringFormat("%.2f KB/s(%d 人)", rec.GetRate(), rec.GetPeerConn())
                        : TrackerInfoText(rec.GetTrackerInfo());
      return;
    }
    evt.strText = rec.GetRate() > 0 && rec.GetLeftTime() != -100
                      ? ConvertTime2SimpleString(rec.GetLeftTime())
                      : CString("下载启动阶段");
    if (rec.GetDownloadingTime() != 0)
      evt.strText += StringFormat(
          "(%s)", ConvertTime2SimpleString(time(nullptr) - rec.GetDownloadingTime()).c_str());
    return;
  }
  if (col == 10 && atoll(CellValue(9, gid).c_str()) == 0) return;
  evt.strText = CellValue(col, gid);
  // A hand-off whose file was seen whole reads as downloaded; it stays RS_THUNDER.
  if (col == 2 && atoi(evt.strText.c_str()) == RS_THUNDER && atof(CellValue(1, gid).c_str()) >= 100)
    evt.strText = std::to_string(RS_DOWNLOADED);
  OP_END
}

int CPushDoc::CompareFunc(RecordGID gidA, const CString& textA, RecordGID gidB,
                          const CString& textB, int iColumn) {
  OP_BEGIN("CPushDoc::CompareFunc")
  if (iColumn == 2 || iColumn == 6 || iColumn == 7 || iColumn == 8) {
    CRecord a, b;
    CIntfDB::GetInstance()->GetOneRecordData(gidA, &a);
    CIntfDB::GetInstance()->GetOneRecordData(gidB, &b);
    switch (iColumn) {
      case 2:
        return a.GetStatus() - b.GetStatus();
      case 6:
        return static_cast<int>(static_cast<int64_t>(a.GetSize()) - b.GetSize());
      case 7:
        return static_cast<int>(a.GetExpectEval() * 100 - b.GetExpectEval() * 100);
      default:
        return (a.GetEval() - b.GetEval()) * 100;
    }
  }
  return strcmp(textA.c_str(), textB.c_str());
  OP_END
}

void CPushDoc::RefreshRecord(RecordGID ulGID) {
  OP_BEGIN("CPushDoc::RefreshRecord")
  auto it = m_mapGIDToRow.find(ulGID);
  if (it == m_mapGIDToRow.end()) return;
  SRecordViewData data;
  data.iType = 1;
  data.iIndex = static_cast<uint32_t>(it->second);
  SendRecordView(data);
  OP_END
}

void CPushDoc::SetSelectedGIDs(const CRowList& rows) {
  OP_BEGIN("CPushDoc::SetSelectedGIDs")
  m_arrSelectedGIDs.clear();
  std::vector<uint32_t>* sel =
      IsValidCategory(m_iCurCategory) ? m_arrCategorySel[m_iCurCategory].get() : nullptr;
  if (sel) sel->clear();
  for (uint32_t row : rows) {
    // Rows of a list that was reloaded meanwhile no longer exist.
    if (row >= m_arrGIDs.size()) continue;
    m_arrSelectedGIDs.push_back(m_arrGIDs[row]);
    if (sel) sel->push_back(m_arrGIDs[row]);
  }
  SendStreamState();
  OP_END
}

void CPushDoc::ShowToolbars(int iRecordBar, int iEvalBar) {
  if (iRecordBar >= 0) {
    SPushFrameData data;
    data.iType = 0;
    data.iShow = iRecordBar;
    SendPushFrame(data);
  }
  if (iEvalBar >= 0) {
    SPushFrameData data;
    data.iType = 1;
    data.iShow = iEvalBar;
    SendPushFrame(data);
  }
}

void CPushDoc::OnRecordViewEvent(SRecordViewEvent& evt) {
  OP_BEGIN("CPushDoc::OnRecordViewEvent")
  switch (evt.iType) {
    case 1:
      SetSelectedGIDs(evt.arrRows);
      UpdateHandOffPlayButton();
      ShowToolbars(5, 5);
      if (!m_arrSelectedGIDs.empty()) DisplayBulletin(m_arrSelectedGIDs.front());
      break;
    case 2:
    case 3:
      // The bulletin follows a selection made by keyboard too.
      SetSelectedGIDs(evt.iType == 2 ? evt.arrRows : CRowList());
      FollowSelection();
      break;
    case 4: {
      SPushFrameData data;
      data.iType = 3;
      SendPushFrame(data);
      break;
    }
    case 5:
      SetCategorySortStatus(evt);
      if (IsValidCategory(m_iCurCategory))
        DisplayCategory(m_iCurCategory, kReservedGID, kKeepValue, kKeepValue);
      break;
    case 6:
      GetRecordSubItem(evt);
      break;
    case 7:
      if (IsValidCategory(m_iCurCategory))
        m_arrScrollPos[m_iCurCategory] = {evt.iVertPos, evt.iHorzPos};
      break;
    case kRecordViewDoubleClick: {
      // A downloaded movie plays; a new push starts its download (its page
      // already shows from the click before); other rows keep their state.
      if (evt.arrRows.empty() || evt.arrRows.front() >= m_arrGIDs.size()) break;
      const RecordGID gid = m_arrGIDs[evt.arrRows.front()];
      CRecord rec;
      if (!CIntfDB::GetInstance()->GetOneRecordData(gid, &rec)) break;
      if (rec.GetStatus() == RS_DOWNLOADED || IsHandOffComplete(rec)) {
        TaskStatusMachine(gid, TE_OPEN, nullptr);
      } else if (rec.GetStatus() == RS_NEW) {
        TaskStatusMachine(gid, TE_START, nullptr);
      }
      break;
    }
    case kRecordViewToolTip:
      evt.strText = evt.iColumn == 7 ? ReasonTip(evt.iRow) : CString();
      break;
    default:
      RAISE_ERROR("遇到未知RecordView事件");
  }
  OP_END
}

void CPushDoc::SetFocusOnNewDownloaded() {
  OP_BEGIN("CPushDoc::SetFocusOnNewDownloaded")
  // The window may show another pane: the list is what the prompt is about.
  if (m_pSession) m_pSession->OnPushDocEvent(0);
  // The prompt announced one movie: that is the one to select.
  CRecord last;
  if (m_ulLastFinishedGID != kReservedGID &&
      CIntfDB::GetInstance()->GetOneRecordData(m_ulLastFinishedGID, &last) &&
      IsHandOffComplete(last)) {
    ChangeCategoryEx(PC_THUNDER, m_ulLastFinishedGID);
  } else if (m_ulLastFinishedGID != kReservedGID) {
    ChangeDownloadedEx(m_ulLastFinishedGID);
  } else {
    OnChangeDownloaded();
  }
  m_ulLastFinishedGID = kReservedGID;
  OP_END
}
