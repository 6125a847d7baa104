#pragma once
#include <sqlite3.h>

#include <functional>
#include <vector>

#include "push/PushDoc.h"
#include "push/PushViews.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/RaisedText.h"
#include "zenuModule/src/ProgramException.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/TextCodec.h"

// The record list as the push engine sees it: keeps every update and answers a
// scroll question with the position it was last told (or moved to by a test).
class CRecordingListView final : public IRecordListView {
 public:
  void OnRecordViewUpdate(const SRecordViewData& data) override {
    SUpdate u;
    u.data = data;
    if (data.pSelRows) u.rows = *data.pSelRows;
    u.data.pSelRows = nullptr;
    updates.push_back(u);
    if (data.iType == 0) {
      iVert = data.iTopRow;
      iHorz = data.iScrollX;
    } else if (data.iType == 2) {
      SRecordViewEvent evt;
      evt.iType = 7;
      evt.iVertPos = iVert;
      evt.iHorzPos = iHorz;
      CPushDoc::GetInstance()->OnRecordViewEvent(evt);
    }
  }
  struct SUpdate {
    SRecordViewData data;
    CRowList rows;
  };
  const SUpdate& LastReload() const {
    for (auto it = updates.rbegin(); it != updates.rend(); ++it)
      if (it->data.iType == 0) return *it;
    static SUpdate none;
    return none;
  }
  std::vector<SUpdate> updates;
  int iVert = 0;
  int iHorz = 0;
};

class CRecordingPushFrame final : public IPushFrameView {
 public:
  void OnPushFrameUpdate(const SPushFrameData& data) override {
    updates.push_back(data);
    if (data.iType == 2) iCategory = data.iCategory;
    if (data.iType == 4) arrBtn[data.iIndex] = data.iValue;
  }
  std::vector<SPushFrameData> updates;
  int iCategory = -1;
  int arrBtn[4] = {0, 0, 0, 0};
};

struct SRow {
  uint32_t gid = 0;
  int status = RS_NEW;
  CString name = "m";
  int64_t pushed = 0;
  CString size = "700";
  CString expect = "3.5";
  int eval = 0;
  int64_t started = 0;
  CString path = "/save/m";
  CString store = "s";
  CString percent = "0.0";
  int fetch = 1;
  CString seed;
};

// A logged-in user's real record database and a fresh push engine with
// recording views.
class PushTest : public StoreTest {
 protected:
  PushTest() {
    CPushDoc::ResetInstance();
    db = Login();
    doc = CPushDoc::GetInstance();
    doc->SetRecordView(&view);
    doc->SetPushFrame(&frame);
  }
  ~PushTest() override { CPushDoc::ResetInstance(); }

  // Writes a row through a second connection, as any other writer would.
  void Exec(const CString& sql) {
    sqlite3* h = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(GBKToUtf8(CDatabase2::GetDBFilePath()).c_str(), &h));
    char* err = nullptr;
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(h, sql.c_str(), nullptr, nullptr, &err)) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(h);
  }
  void Insert(const SRow& r) {
    const CString sql = StringFormat(
        "insert into records (ulGID, strTaskDisplayName, eStatus, tlPushed, iSize, fExpectEval, "
        "iEval, tlStartDownloadTime, strLocalAbsPath, strStorePath, fDownloadedPercent, "
        "tlFinishedTime, iFetchMethod, strBTSeedUrl) values (%u, '%s', %d, %lld, %s, %s, %d, "
        "%lld, '%s', '%s', %s, 0, %d, '%s')",
        r.gid, r.name.c_str(), r.status, static_cast<long long>(r.pushed), r.size.c_str(),
        r.expect.c_str(), r.eval, static_cast<long long>(r.started), r.path.c_str(),
        r.store.c_str(), r.percent.c_str(), r.fetch, r.seed.c_str());
    Exec(sql);
  }
  void Insert(uint32_t gid, int status) {
    SRow r;
    r.gid = gid;
    r.status = status;
    Insert(r);
  }
  CString Raw(uint32_t row, uint32_t col) {
    SRecordViewEvent evt;
    evt.iType = 6;
    evt.iRow = row;
    evt.iColumn = col;
    evt.strText = "stale";
    doc->OnRecordViewEvent(evt);
    return evt.strText;
  }
  void ClickHeader(uint32_t col) {
    SRecordViewEvent evt;
    evt.iType = 5;
    evt.iSortColumn = col;
    doc->OnRecordViewEvent(evt);
  }
  void Select(CRowList rows) {
    SRecordViewEvent evt;
    evt.iType = rows.empty() ? 3 : 2;
    evt.arrRows = rows;
    doc->OnRecordViewEvent(evt);
  }

  CIntfDB* db = nullptr;
  CPushDoc* doc = nullptr;
  CRecordingListView view;
  CRecordingPushFrame frame;
};
