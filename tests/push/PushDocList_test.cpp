#include <ctime>

#include "app/MainDoc.h"
#include "eval/EvalDoc.h"
#include "prompt/PromptMgrDoc.h"
#include "push/RecordCellText.h"
#include "tests/push/PushFixture.h"
#include "tests/support/RecordingMainFrame.h"

namespace {
std::vector<uint32_t> G(std::initializer_list<uint32_t> l) { return l; }

CString LocalDay(int64_t t) {
  time_t tt = static_cast<time_t>(t);
  struct tm parts {};
  localtime_r(&tt, &parts);
  char buf[32];
  strftime(buf, sizeof buf, "%Y-%m-%d", &parts);
  return buf;
}
}  // namespace

// Which records each category shows.
TEST_F(PushTest, CategoriesSelectTheirStatuses) {
  Insert(1, RS_DELETED);
  Insert(2, RS_DOWNLOADED);
  Insert(3, RS_DOWNLOADING);
  Insert(4, RS_QUEUED);
  Insert(5, RS_STOPPED);
  Insert(6, RS_NEW);
  Insert(7, RS_THUNDER);
  SRow rated;
  rated.gid = 8;
  rated.status = RS_DOWNLOADED;
  rated.eval = 4;
  Insert(rated);

  EXPECT_EQ(6, doc->GetCurCategory());
  doc->DisplayCategory(PC_DOWNLOADED, kReservedGID, kKeepValue, kKeepValue);
  EXPECT_EQ(G({2, 8}), doc->GetGIDs());
  doc->DisplayCategory(PC_DOWNLOADING, kReservedGID, kKeepValue, kKeepValue);
  EXPECT_EQ(G({3, 4, 5}), doc->GetGIDs());
  doc->DisplayCategory(PC_DELETED, kReservedGID, kKeepValue, kKeepValue);
  EXPECT_EQ(G({1}), doc->GetGIDs());
  doc->DisplayCategory(PC_NEWTASK, kReservedGID, kKeepValue, kKeepValue);
  EXPECT_EQ(G({6}), doc->GetGIDs());
  doc->DisplayCategory(PC_THUNDER, kReservedGID, kKeepValue, kKeepValue);
  EXPECT_EQ(G({7}), doc->GetGIDs());
  doc->DisplayCategory(PC_UNEVAL, kReservedGID, kKeepValue, kKeepValue);
  EXPECT_EQ(G({1, 2, 3, 4, 5, 6, 7}), doc->GetGIDs());
  EXPECT_EQ(5, doc->GetCurCategory());
  EXPECT_EQ(7u, view.LastReload().data.iCount);
  EXPECT_FALSE(view.LastReload().data.bSorted);
}

TEST_F(PushTest, QueriesFollowTheSortState) {
  EXPECT_EQ("select ulGID from records where eStatus = 4 or eStatus = 12 or eStatus = 20 ",
            doc->CategorySql(PC_DOWNLOADING));
  doc->DisplayCategory(PC_DOWNLOADED, kReservedGID, kKeepValue, kKeepValue);
  ClickHeader(3);
  EXPECT_EQ("select ulGID from records where eStatus = 2 order by tlPushed  desc",
            doc->CategorySql(PC_DOWNLOADED));
  ClickHeader(3);
  EXPECT_EQ("select ulGID from records where eStatus = 2 order by tlPushed ",
            doc->CategorySql(PC_DOWNLOADED));
  ClickHeader(3);
  EXPECT_EQ("select ulGID from records where eStatus = 2 order by tlPushed  desc",
            doc->CategorySql(PC_DOWNLOADED));
  ClickHeader(10);
  EXPECT_EQ("select ulGID from records where eStatus = 2 order by strStorePath  desc",
            doc->CategorySql(PC_DOWNLOADED));
  // Other categories keep their own state.
  EXPECT_EQ("select ulGID from records where iEval = 0", doc->CategorySql(PC_UNEVAL));
}

TEST_F(PushTest, HeaderClicksReorderRowsAndMarkTheHeader) {
  for (uint32_t gid : {1u, 2u, 3u}) {
    SRow r;
    r.gid = gid;
    r.status = RS_DOWNLOADED;
    r.pushed = gid == 2 ? 2500 : gid * 1000;
    r.size = gid == 1 ? "900" : "100";
    Insert(r);
  }
  doc->DisplayCategory(PC_DOWNLOADED, kReservedGID, kKeepValue, kKeepValue);
  ClickHeader(3);
  EXPECT_EQ(G({3, 2, 1}), doc->GetGIDs());
  EXPECT_TRUE(view.LastReload().data.bSorted);
  EXPECT_EQ(3u, view.LastReload().data.iSortColumn);
  EXPECT_EQ(0u, view.LastReload().data.bAscending);
  ClickHeader(3);
  EXPECT_EQ(G({1, 2, 3}), doc->GetGIDs());
  EXPECT_NE(0u, view.LastReload().data.bAscending);
  // A column without a clause marks the header but keeps the stored order.
  ClickHeader(4);
  EXPECT_EQ(G({1, 2, 3}), doc->GetGIDs());
  EXPECT_TRUE(view.LastReload().data.bSorted);
  EXPECT_EQ(4u, view.LastReload().data.iSortColumn);
  ClickHeader(6);
  EXPECT_EQ(1u, doc->GetGIDs().front());
}

TEST_F(PushTest, SelectionAndScrollAreRememberedPerCategory) {
  for (uint32_t gid = 1; gid <= 5; ++gid) Insert(gid, RS_NEW);
  Insert(10, RS_DOWNLOADED);
  doc->OnChangeNewTask();
  Select({1, 3});
  EXPECT_EQ(G({2, 4}), doc->GetSelectedGIDs());
  view.iVert = 2;
  view.iHorz = 40;

  doc->OnChangeDownloaded();
  EXPECT_EQ(2, doc->GetScrollPos(PC_NEWTASK).iVertPos);
  EXPECT_EQ(40, doc->GetScrollPos(PC_NEWTASK).iHorzPos);
  EXPECT_TRUE(view.LastReload().rows.empty());
  EXPECT_EQ(0, view.LastReload().data.iTopRow);

  doc->OnChangeNewTask();
  EXPECT_EQ(CRowList({1, 3}), view.LastReload().rows);
  EXPECT_EQ(2, view.LastReload().data.iTopRow);
  EXPECT_EQ(40, view.LastReload().data.iScrollX);

  // A sort change moves the remembered ids to their new rows.
  doc->SetSortStatus(PC_NEWTASK, {1, 8, 1});
  for (uint32_t gid = 1; gid <= 5; ++gid) {
    CRecord r = Get(gid);
    r.SetEval(6 - gid);
    db->UpdateRecord(r);
  }
  doc->DisplayCategory(PC_NEWTASK, kReservedGID, kKeepValue, kKeepValue);
  EXPECT_EQ(G({5, 4, 3, 2, 1}), doc->GetGIDs());
  CRowList rows = view.LastReload().rows;
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ(CRowList({1, 3}), CRowList({rows[1], rows[0]}));
  EXPECT_EQ(2u, doc->GetGIDs()[rows[0]]);
  EXPECT_EQ(4u, doc->GetGIDs()[rows[1]]);

  // An empty selection forgets the category's selection.
  Select({});
  EXPECT_TRUE(doc->GetSelectedGIDs().empty());
  doc->OnChangeDownloaded();
  doc->OnChangeNewTask();
  EXPECT_TRUE(view.LastReload().rows.empty());
}

TEST_F(PushTest, FocusAndExplicitPositionsWin) {
  for (uint32_t gid = 1; gid <= 5; ++gid) Insert(gid, RS_NEW);
  doc->ChangeNewTaskEx(4);
  EXPECT_EQ(CRowList({3}), view.LastReload().rows);
  EXPECT_EQ(3, view.LastReload().data.iTopRow);
  doc->DisplayCategory(PC_NEWTASK, 2, 0, 7);
  EXPECT_EQ(CRowList({1}), view.LastReload().rows);
  EXPECT_EQ(0, view.LastReload().data.iTopRow);
  EXPECT_EQ(7, view.LastReload().data.iScrollX);
  // A focus id that is not listed selects nothing and shows the top.
  doc->ChangeNewTaskEx(0);
  EXPECT_TRUE(view.LastReload().rows.empty());
  EXPECT_EQ(0, view.LastReload().data.iTopRow);
}

TEST_F(PushTest, ScrollReportsBeforeTheFirstCategoryAreDropped) {
  SRecordViewEvent evt;
  evt.iType = 7;
  evt.iVertPos = 9;
  doc->OnRecordViewEvent(evt);
  for (int i = 0; i < CPushDoc::kCategoryCount; ++i) EXPECT_EQ(0, doc->GetScrollPos(i).iVertPos);
  view.iVert = 9;
  doc->OnChangeDeleted();  // the report of "none" is not stored either
  EXPECT_EQ(0, doc->GetScrollPos(PC_DELETED).iVertPos);
  EXPECT_EQ(2u, view.updates.size());
  EXPECT_EQ(2, view.updates[0].data.iType);
}

TEST_F(PushTest, ButtonStatesPerCategory) {
  doc->OnChangeDownloaded();
  EXPECT_EQ(0, frame.iCategory);
  EXPECT_EQ(1, frame.arrBtn[0]);
  EXPECT_EQ(0, frame.arrBtn[1]);
  EXPECT_EQ(1, frame.arrBtn[2]);
  EXPECT_EQ(1, frame.arrBtn[3]);
  doc->OnChangeThunder();
  EXPECT_EQ(4, frame.iCategory);
  EXPECT_EQ((std::vector<int>{0, 0, 0, 1}), std::vector<int>(frame.arrBtn, frame.arrBtn + 4));
  // Downloading leaves the Download button as the previous category set it.
  doc->OnChangeDownloading();
  EXPECT_EQ((std::vector<int>{0, 1, 0, 1}), std::vector<int>(frame.arrBtn, frame.arrBtn + 4));
  doc->OnChangeDeleted();
  EXPECT_EQ((std::vector<int>{0, 0, 1, 0}), std::vector<int>(frame.arrBtn, frame.arrBtn + 4));
  doc->OnChangeDownloading();
  EXPECT_EQ(1, frame.arrBtn[2]);
  doc->OnChangeNewTask();
  EXPECT_EQ((std::vector<int>{0, 0, 1, 1}), std::vector<int>(frame.arrBtn, frame.arrBtn + 4));
  doc->OnChangeUneval();
  EXPECT_EQ(5, frame.iCategory);
  EXPECT_EQ(5, doc->GetCurCategory());

  // Thunder shown already: nothing at all happens.
  doc->OnChangeThunder();
  const size_t frames = frame.updates.size();
  const size_t views = view.updates.size();
  doc->OnChangeThunder();
  EXPECT_EQ(frames, frame.updates.size());
  EXPECT_EQ(views, view.updates.size());
}

TEST_F(PushTest, RawCellValues) {
  SRow r;
  r.gid = 7;
  r.status = RS_DOWNLOADED;
  r.name = "电影";
  r.pushed = 1300000000;
  r.size = "0";
  r.expect = "300";
  r.eval = 3;
  r.started = 1300001000;
  r.path = "/save/电影";
  r.percent = "45.5";
  Insert(r);
  r.gid = 8;
  r.started = 0;
  Insert(r);
  doc->OnChangeDownloaded();
  EXPECT_EQ("电影", Raw(0, 0));
  EXPECT_EQ("45.5", Raw(0, 1));
  EXPECT_EQ("2", Raw(0, 2));
  EXPECT_EQ("1300000000", Raw(0, 3));
  EXPECT_EQ("", Raw(0, 4));
  EXPECT_EQ("", Raw(0, 5));
  EXPECT_EQ("0", Raw(0, 6));
  EXPECT_EQ("3", Raw(0, 8));
  EXPECT_EQ("1300001000", Raw(0, 9));
  EXPECT_EQ("/save/电影", Raw(0, 10));
  // Never started: no target path shown.
  EXPECT_EQ("", Raw(1, 10));
  // Rows and columns outside the list give an empty text.
  EXPECT_EQ("", Raw(2, 0));
  EXPECT_EQ("", Raw(0, 11));
}

TEST_F(PushTest, SpeedAndTimeOnlyForRunningDownloads) {
  Insert(1, RS_DOWNLOADING);
  Insert(2, RS_QUEUED);
  Insert(3, RS_DOWNLOADING);
  CRecord run = Get(1);
  run.SetRate(12.345);
  run.SetPeerConn(7);
  run.SetLeftTime(3660);
  run.SetDownloadingTime(time(nullptr) - 61);
  db->UpdateRecord(run);
  CRecord queued = Get(2);
  queued.SetRate(10);
  queued.SetLeftTime(5);
  db->UpdateRecord(queued);
  CRecord starting = Get(3);
  starting.SetTrackerInfo("tracker ok");
  db->UpdateRecord(starting);

  doc->OnChangeDownloading();
  EXPECT_EQ("12.35 KB/s(7 人)", Raw(0, 4));
  const CString left = Raw(0, 5);
  EXPECT_TRUE(left == "1小时1分(1分)" || left == "1小时1分(1分1秒)") << left;
  EXPECT_EQ("", Raw(1, 4));
  EXPECT_EQ("", Raw(1, 5));
  EXPECT_EQ("tracker ok", Raw(2, 4));
  EXPECT_EQ("下载启动阶段", Raw(2, 5));
  // The downloader's own state line reads in the list's language.
  starting.SetTrackerInfo("downloading, peers 1, seeds 1, tracker http://127.0.0.1:1/announce");
  db->UpdateRecord(starting);
  EXPECT_EQ("正在连接下载源（已连接1人，其中1个完整来源）", Raw(2, 4));
  starting.SetTrackerInfo("checking, peers 0, seeds 0");
  db->UpdateRecord(starting);
  EXPECT_EQ("正在检查已下载部分（已连接0人，其中0个完整来源）", Raw(2, 4));
}

TEST_F(PushTest, DisplayRules) {
  EXPECT_EQ("45.5%", DisplayPretty(1, "45.5"));
  EXPECT_EQ("排队中", DisplayPretty(2, "12"));
  EXPECT_EQ("迅雷", DisplayPretty(2, "64"));
  EXPECT_EQ("", DisplayPretty(2, "99"));
  EXPECT_EQ(LocalDay(1300000000), DisplayPretty(3, "1300000000"));
  EXPECT_EQ("未知", DisplayPretty(6, "0"));
  EXPECT_EQ("700M", DisplayPretty(6, "700"));
  EXPECT_EQ("0.5M", DisplayPretty(6, "0.5"));
  EXPECT_EQ("好友推荐", DisplayPretty(7, "300"));
  EXPECT_EQ("定制推送", DisplayPretty(7, "100"));
  EXPECT_EQ("搜索结果", DisplayPretty(7, "200.0"));
  EXPECT_EQ("", DisplayPretty(7, "0.05"));
  EXPECT_EQ("", DisplayPretty(7, ""));
  EXPECT_EQ("3.5", DisplayPretty(7, "3.5"));
  EXPECT_EQ("", DisplayPretty(8, "0"));
  EXPECT_EQ("4", DisplayPretty(8, "4"));
  EXPECT_EQ("", DisplayPretty(9, "0"));
  EXPECT_EQ(LocalDay(1300001000), DisplayPretty(9, "1300001000"));
  EXPECT_EQ("a\\b", DisplayPretty(10, "a\\b"));
  EXPECT_STREQ("下载速度(下载人数)", RecordColumnTitle(4));
  EXPECT_EQ(121, RecordColumnWidth(9));
}

TEST_F(PushTest, ShortDurations) {
  EXPECT_EQ("1天1小时", ConvertTime2SimpleString(90061));
  EXPECT_EQ("1小时1分", ConvertTime2SimpleString(3660));
  EXPECT_EQ("1分", ConvertTime2SimpleString(61));
  EXPECT_EQ("59秒", ConvertTime2SimpleString(59));
  EXPECT_EQ("", ConvertTime2SimpleString(0));
  EXPECT_EQ("2天0小时", ConvertTime2SimpleString(2 * 86400 + 59));
}

TEST_F(PushTest, CompareRowsByColumn) {
  SRow a;
  a.gid = 1;
  a.status = RS_DOWNLOADED;
  a.size = "700";
  a.expect = "3.55";
  a.eval = 2;
  Insert(a);
  SRow b = a;
  b.gid = 2;
  b.status = RS_QUEUED;
  b.size = "1000";
  b.expect = "3.5";
  b.eval = 5;
  Insert(b);
  EXPECT_EQ(2 - 12, CPushDoc::CompareFunc(1, "", 2, "", 2));
  EXPECT_EQ(-300, CPushDoc::CompareFunc(1, "", 2, "", 6));
  EXPECT_EQ(5, CPushDoc::CompareFunc(1, "", 2, "", 7));
  EXPECT_EQ(-300, CPushDoc::CompareFunc(1, "", 2, "", 8));
  EXPECT_LT(CPushDoc::CompareFunc(1, "abc", 2, "abd", 0), 0);
  EXPECT_EQ(0, CPushDoc::CompareFunc(1, "x", 2, "x", 3));
  EXPECT_GT(CPushDoc::CompareFunc(1, "b", 2, "a", 9), 0);
}

TEST_F(PushTest, RefreshRedrawsOnlyListedRows) {
  Insert(1, RS_NEW);
  Insert(2, RS_NEW);
  Insert(3, RS_DELETED);
  doc->OnChangeNewTask();
  view.updates.clear();
  doc->RefreshRecord(2);
  doc->RefreshRecord(3);
  ASSERT_EQ(1u, view.updates.size());
  EXPECT_EQ(1, view.updates[0].data.iType);
  EXPECT_EQ(1u, view.updates[0].data.iIndex);
}

TEST_F(PushTest, ListEventsDriveTheToolbars) {
  Insert(1, RS_NEW);
  Insert(2, RS_NEW);
  doc->OnChangeNewTask();
  frame.updates.clear();
  SRecordViewEvent click;
  click.iType = 1;
  click.arrRows = {1};
  doc->OnRecordViewEvent(click);
  EXPECT_EQ(G({2}), doc->GetSelectedGIDs());
  ASSERT_EQ(2u, frame.updates.size());
  EXPECT_EQ(0, frame.updates[0].iType);
  EXPECT_EQ(5, frame.updates[0].iShow);
  EXPECT_EQ(1, frame.updates[1].iType);
  Select({});
  EXPECT_EQ(0, frame.updates.back().iShow);
  SRecordViewEvent menu;
  menu.iType = 4;
  doc->OnRecordViewEvent(menu);
  EXPECT_EQ(3, frame.updates.back().iType);
  SRecordViewEvent odd;
  odd.iType = 99;
  EXPECT_EQ("遇到未知RecordView事件", RaisedText([&] { doc->OnRecordViewEvent(odd); }));
}

TEST_F(PushTest, FocusOnNewDownloadedShowsDownloaded) {
  CRecordingMainFrame main;
  CMainDoc::GetInstance()->SetMainFrame(&main);
  CPushDoc::GetInstance()->SetSession(CMainDoc::GetInstance());
  CEvalDoc::GetInstance()->SetSession(CMainDoc::GetInstance());
  CPromptMgrDoc::GetInstance()->SetSession(CMainDoc::GetInstance());
  Insert(5, RS_DOWNLOADED);
  doc->SetLastFinishedGID(5);
  doc->SetFocusOnNewDownloaded();
  EXPECT_EQ(1, main.iRaised);
  EXPECT_EQ(0, doc->GetCurCategory());
  EXPECT_EQ(kReservedGID, doc->GetLastFinishedGID());
  CMainDoc::GetInstance()->SetMainFrame(nullptr);
}
