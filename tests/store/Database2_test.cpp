#include "store/Database2.h"

#include <json/json.h>
#include <unistd.h>

#include <ctime>

#include "store/PushedValues.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ProgramException.h"

namespace {
CString Movie(const CString& gid, const CString& title, const CString& size,
              const CString& expect = "3.456") {
  return "<movie gid=\"" + gid + "\" file_name=\" f" + gid + ".rmvb \" bt_seed_url=\"http://h/" +
         gid + ".torrent\" task_display_name=\" " + title + " \" expect_eval=\"" + expect +
         "\" size=\"" + size + "\" bulletin_url=\"http://h/b/" + gid +
         "\" use_public_torrent=\"1\" store_name=\"s" + gid +
         "\" fetch_method=\" 1 \" fetch_url=\"http://f/" + gid + "\"/>";
}
CString Doc(const CString& movies) {
  return "<?xml version=\"1.0\"?><tasks>" + movies + "</tasks>";
}

CProgramException* Raised(const std::function<void()>& body) {
  try {
    body();
  } catch (CProgramException* e) {
    return e;
  }
  return nullptr;
}
}  // namespace

TEST_F(StoreTest, LoadDBCreatesAndReopensTheUserFile) {
  // No default user: no path.
  CProgramException* e = Raised([] { CIntfDB::GetInstance()->LoadDB(); });
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->GetError(), "没有用户数据路径");
  e->Delete();

  auto* db = Login("张三");
  EXPECT_TRUE(PathExists(Home() + "users/张三/db.dat"));
  EXPECT_EQ(GetCurrentFolder() + "/", Home());
  const CString trace = home.TraceLog();
  EXPECT_NE(trace.find("创建了新的数据库文件"), CString::npos);
  EXPECT_EQ(trace.find("连接存在的数据库文件"), CString::npos);
  EXPECT_EQ(trace.find("xml file size"), CString::npos);  // no old data, no conversion
  CSqlRow row;
  ASSERT_TRUE(db->GetOneRecordBySql("select sql from sqlite_master where name = 'records'", &row));
  // SQLite keeps the statement from the table name on.
  const CString made = CDatabase2::CreateTableSql();
  EXPECT_EQ(row[0].substr(row[0].find("records(")) + "; ", made.substr(made.find("records(")));
  EXPECT_EQ(db->GetCount(), 0);
  EXPECT_TRUE(db->SaveDB());

  CGIDList added;
  db->AddPushedRecord(Doc(Movie("5", "甲", "700M")), Saveas(), &added);
  ASSERT_EQ(added, CGIDList{5});

  // Reopening finds the file and its rows.
  CIntfDB::ResetInstance();
  db = CIntfDB::GetInstance();
  ASSERT_TRUE(db->LoadDB());
  EXPECT_NE(home.TraceLog().find("连接存在的数据库文件"), CString::npos);
  EXPECT_EQ(db->GetCount(), 1);
  EXPECT_EQ(Get(5).GetTaskDisplayName(), "甲");
  // Run-time figures do not survive a restart.
  EXPECT_DOUBLE_EQ(Get(5).GetRate(), -1.0);
  EXPECT_EQ(Get(5).GetLeftTime(), -100);

  // An existing file that cannot be opened.
  CIntfDB::ResetInstance();
  ASSERT_TRUE(RemoveFile(Home() + "users/张三/db.dat"));
  ASSERT_TRUE(MakeFolder(Home() + "users/张三/db.dat"));
  e = Raised([] { CIntfDB::GetInstance()->LoadDB(); });
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->GetError(), "连接用户数据文件出错");
  e->Delete();
  EXPECT_EQ(GetCurrentFolder() + "/", Home() + "users/张三/");
}

TEST_F(StoreTest, MediaInfoListBecomesRowsWithEveryColumn) {
  auto* db = Login();
  const time_t before = std::time(nullptr);
  CGIDList added;
  db->AddPushedRecord(Doc(Movie("101", "电影一", "700M") + Movie("102", "Two", "1.5G", "") +
                          Movie("103", "Three", "")),
                      Saveas(), &added);
  EXPECT_EQ(added, (CGIDList{101, 102, 103}));
  const CRecord r = Get(101);
  EXPECT_EQ(r.GetGID(), 101u);
  EXPECT_EQ(r.GetFileName(), "f101.rmvb");
  EXPECT_EQ(r.GetBTSeedUrl(), "http://h/101.torrent");
  EXPECT_EQ(r.GetStatus(), RS_NEW);
  EXPECT_EQ(r.GetTaskDisplayName(), "电影一");
  EXPECT_EQ(r.GetLocalAbsPath(), Home() + "电影/电影一");
  EXPECT_EQ(r.GetMediaFormat(), "rmvb");
  EXPECT_GE(r.GetPushed(), before);
  EXPECT_LE(r.GetPushed(), std::time(nullptr));
  EXPECT_DOUBLE_EQ(r.GetExpectEval(), 3.46);
  EXPECT_EQ(r.GetSize(), 700u);
  EXPECT_EQ(r.RawBulletinUrl(), "http://h/b/101");
  EXPECT_EQ(r.GetTorrentType(), 1);
  EXPECT_EQ(r.GetStorePath(), "s101");
  EXPECT_EQ(r.GetFetchMethod(), 1);
  EXPECT_EQ(r.FetchUrl(), "http://f/101");
  EXPECT_EQ(Cell("fExpectEval", 102), "");  // empty expect_eval stores NULL
  EXPECT_EQ(Cell("iSize", 102), "1000");
  EXPECT_EQ(Cell("iSize", 103), "0");

  // The same list again: every movie filtered, nothing appended.
  CGIDList again;
  db->AddPushedRecord(
      Doc(Movie("101", "x", "1M") + Movie("102", "y", "1M") + Movie("103", "z", "")), Saveas(),
      &again);
  EXPECT_TRUE(again.empty());
  EXPECT_EQ(Get(101).GetTaskDisplayName(), "电影一");
  for (const char* gid : {"101", "102", "103"}) {
    EXPECT_EQ(Count(home.TraceLog(), CString("过滤了已存在的推送电影,GID:") + gid), 1) << gid;
  }

  // The id the download machine takes for "no record" never names a movie, in either form.
  CGIDList reserved;
  db->AddPushedRecord(Doc(Movie("4294967295", "r", "1M")), Saveas(), &reserved);
  EXPECT_TRUE(reserved.empty());
  Json::Value task;
  task["INT_MOVIE_ID"] = Json::UInt(0xFFFFFFFFu);
  CRecord rec;
  CProgramException* e = Raised([&] { db->AddPushedRecord2(&task, Saveas(), &rec); });
  ASSERT_NE(e, nullptr);
  EXPECT_NE(e->GetError().find("增加立即推送的电影出错"), CString::npos);
  e->Delete();
  // One stored under it before it was refused never reaches a list.
  CSqlRow none;
  db->GetOneRecordBySql("insert into records (ulGID, eStatus) values (4294967295, 2)", &none);
  ASSERT_EQ(Cell("eStatus", kReservedGID), "2");
  CGIDList all;
  db->GetGIDList(0, &all, 1);
  EXPECT_EQ(all, (CGIDList{101, 102, 103}));
}

TEST_F(StoreTest, SizeTextTablesOfBothPushFormats) {
  auto* db = Login();
  const std::vector<std::pair<CString, CString>> xml = {
      {"700M", "700"},  {"1.5G", "1000"}, {"123456789B", "123.46"},
      {"500KB", "0.5"}, {"700MB", "0"},   {"", "0"},
      {"1234", "1"},    {"2G", "2000"}};
  uint32_t gid = 1000;
  for (const auto& [text, stored] : xml) {
    ++gid;
    db->AddPushedRecord(Doc(Movie(std::to_string(gid), "t", text)), Saveas(), nullptr);
    EXPECT_EQ(Cell("iSize", gid), stored) << "xml size " << text;
    EXPECT_DOUBLE_EQ(XmlTaskSizeMB(text), XmlTaskSizeMB(text));
  }
  EXPECT_NEAR(XmlTaskSizeMB("123456789B"), 123.456789, 1e-9);

  const std::vector<std::pair<CString, CString>> now = {
      {"700M", "700"},          {"2G", "2000"}, {"500K", "0.5"}, {"500KB", "0.5"},
      {"123456789B", "123.46"}, {"1234", "0"},  {"", "0"}};
  for (const auto& [text, stored] : now) {
    ++gid;
    Json::Value task;
    task["INT_MOVIE_ID"] = gid;
    task["UTF8_MOVIE_NAME"] = "n";
    task["ASC_SIZE"] = text;
    CRecord rec;
    ASSERT_TRUE(db->AddPushedRecord2(&task, Saveas(), &rec));
    EXPECT_EQ(Cell("iSize", gid), stored) << "push-now size " << text;
  }
  ++gid;
  Json::Value noSize;
  noSize["INT_MOVIE_ID"] = gid;
  CRecord rec;
  ASSERT_TRUE(db->AddPushedRecord2(&noSize, Saveas(), &rec));
  EXPECT_EQ(Cell("iSize", gid), "0");
  EXPECT_EQ(Cell("typeof(iSize)", gid), "integer");
}

TEST_F(StoreTest, PushNowMovieIsStoredOnceAndReturned) {
  auto* db = Login();
  Json::Value task;
  task["INT_MOVIE_ID"] = 77;
  task["UTF8_MOVIE_NAME"] = GBKToUtf8("立即 \"推送\" 的电影");
  task["ASC_BULLETIN_URL"] = "  http://h/b/77  ";
  task["ASC_SIZE"] = "700M";
  task["INT_FETCH_METHOD"] = 5;
  task["ASC_FETCH_URL"] = "thunder://x";
  CRecord rec;
  ASSERT_TRUE(db->AddPushedRecord2(&task, Saveas(), &rec));
  EXPECT_EQ(rec.GetGID(), 77u);
  EXPECT_EQ(rec.GetTaskDisplayName(), "立即 \"推送\" 的电影");
  EXPECT_EQ(rec.GetFileName(), "file_name");
  EXPECT_EQ(rec.GetStorePath(), "store_name");
  EXPECT_EQ(rec.GetBTSeedUrl(), "");
  EXPECT_DOUBLE_EQ(rec.GetExpectEval(), 200.0);
  EXPECT_EQ(rec.GetSize(), 700u);
  EXPECT_EQ(rec.RawBulletinUrl(), "http://h/b/77");
  EXPECT_EQ(rec.GetTorrentType(), 1);
  EXPECT_EQ(rec.GetFetchMethod(), 5);
  EXPECT_EQ(rec.FetchUrl(), "thunder://x");
  EXPECT_EQ(rec.GetStatus(), RS_NEW);
  EXPECT_EQ(rec.GetLocalAbsPath(), Home() + "电影/立即 \"推送\" 的电影");

  // Already stored: FALSE, the stored row comes back unchanged.
  Json::Value again = task;
  again["UTF8_MOVIE_NAME"] = "other";
  CRecord old;
  EXPECT_FALSE(db->AddPushedRecord2(&again, Saveas(), &old));
  EXPECT_EQ(old.GetTaskDisplayName(), rec.GetTaskDisplayName());
  EXPECT_NE(home.TraceLog().find("推送电影已存在, GID:77"), CString::npos);
  EXPECT_EQ(db->GetCount(), 1);
}

TEST_F(StoreTest, UpdatesCacheAndIdentifierQueries) {
  auto* db = Login();
  CString movies;
  for (int gid = 1; gid <= 7; ++gid) movies += Movie(std::to_string(gid), "m", "1M");
  db->AddPushedRecord(Doc(movies), Saveas(), nullptr);
  const int32_t states[] = {RS_DELETED, RS_DOWNLOADED, RS_DOWNLOADING, RS_QUEUED,
                            RS_STOPPED, RS_NEW,        RS_THUNDER};
  for (uint32_t gid = 1; gid <= 7; ++gid) {
    CRecord r = Get(gid);
    r.SetStatus(states[gid - 1]);
    db->UpdateRecord(r);
  }
  CGIDList list;
  db->GetGIDList(4, &list, 1);
  EXPECT_EQ(list, (CGIDList{3, 4, 5}));
  db->GetGIDList(4, &list, 0);
  EXPECT_EQ(list, CGIDList{3});
  db->GetGIDList(12, &list, 1);
  EXPECT_EQ(list, CGIDList{4});
  db->GetGIDList(0, &list, 1);
  EXPECT_EQ(list.size(), 7u);
  db->GetGIDListBySql("select ulGID from records where eStatus = 64", &list);
  EXPECT_EQ(list, CGIDList{7});
  db->GetGIDListBySql("select ulGID from nowhere", &list);
  EXPECT_TRUE(list.empty());
  CSqlRow row;
  EXPECT_FALSE(db->GetOneRecordBySql("select ulGID from records where ulGID = 99", &row));
  EXPECT_EQ(db->GetCount(), 7);

  // Percent, times and run-time figures.
  CRecord r = Get(3);
  r.SetDownloadedPercent(45.678);
  r.SetStartDownloadTime(-5);
  r.SetFinishedTime(0x100000002LL);  // only the low 32 bits are kept
  r.SetEval(4);
  r.SetRate(12.5);
  r.SetLeftTime(600);
  r.SetPeerConn(3);
  r.SetTrackerInfo("tracker ok");
  r.SetTaskDisPlayName("not written");
  db->UpdateRecord(r);
  EXPECT_EQ(Cell("fDownloadedPercent", 3), "45.68");
  const CRecord back = Get(3);
  EXPECT_DOUBLE_EQ(back.GetDownloadedPercent(), 45.0);
  EXPECT_EQ(back.GetStartDownloadTime(), -5);
  EXPECT_EQ(back.GetFinishedTime(), 2);
  EXPECT_EQ(back.GetEval(), 4);
  EXPECT_DOUBLE_EQ(back.GetRate(), 12.5);
  EXPECT_EQ(back.GetLeftTime(), 600);
  EXPECT_EQ(back.GetPeerConn(), 3);
  EXPECT_EQ(back.GetTrackerInfo(), "tracker ok");
  EXPECT_EQ(back.GetTaskDisplayName(), "m");

  CRecord zero;
  zero.SetRate(99);
  db->UpdateRecord(zero);
  EXPECT_NE(home.TraceLog().find("出现了错误的 GID!"), CString::npos);
  CRecord none;
  EXPECT_FALSE(db->GetOneRecordData(0, &none));
  EXPECT_FALSE(db->GetOneRecordData(12345, &none));
}

TEST_F(StoreTest, QuotesAreStoredByteForByteAndTitlesMadeSafeForPaths) {
  auto* db = Login();
  const CString quoted = "It's \"the\" \\ movie'); drop table records; --";
  CGIDList added;
  db->AddPushedRecord(
      Doc("<m gid=\"1\" task_display_name=\"It&apos;s &quot;the&quot; \\ movie&apos;); drop table "
          "records; --\" bt_seed_url=\"http://h/a'b&quot;c\\d\" bulletin_url=\"http://h/it's\" "
          "fetch_method=\"1\"/>"),
      Saveas(), &added);
  ASSERT_EQ(added, CGIDList{1});
  EXPECT_EQ(Get(1).GetTaskDisplayName(), quoted);
  EXPECT_EQ(Get(1).GetBTSeedUrl(), "http://h/a'b\"c\\d");
  EXPECT_EQ(Get(1).RawBulletinUrl(), "http://h/it's");
  EXPECT_EQ(Get(1).GetLocalAbsPath(),
            Home() + "电影/It's \"the\" _ movie'); drop table records; --");
  EXPECT_EQ(db->GetCount(), 1);

  const std::vector<std::pair<CString, CString>> titles = {
      {"../../etc", ".._.._etc"}, {"..", "12"}, {".", "13"}, {"", "14"}, {"  / ", "_"},
      {"a/b\\c", "a_b_c"},        {"...", "17"}};
  uint32_t gid = 10;
  for (const auto& [title, element] : titles) {
    ++gid;
    Json::Value task;
    task["INT_MOVIE_ID"] = gid;
    task["UTF8_MOVIE_NAME"] = title;
    CRecord rec;
    ASSERT_TRUE(db->AddPushedRecord2(&task, Saveas(), &rec));
    EXPECT_EQ(rec.GetLocalAbsPath(), Home() + "电影/" + element) << title;
    EXPECT_EQ(rec.GetTaskDisplayName(), title);
  }
  // The folder comes from the caller, trailing slashes and all.
  Json::Value task;
  task["INT_MOVIE_ID"] = 20;
  task["UTF8_MOVIE_NAME"] = "t";
  CRecord rec;
  ASSERT_TRUE(db->AddPushedRecord2(&task, "/data/影片//", &rec));
  EXPECT_EQ(rec.GetLocalAbsPath(), "/data/影片/t");
  // A GBK title whose second bytes are 0x5C or 0x2F-like stays whole.
  EXPECT_EQ(SafePathElement("\x95\x5C\x95\x7C", 1), "\x95\x5C\x95\x7C");
  const CString longTitle(600, 'x');
  EXPECT_EQ(SafePathElement(longTitle, 1).size(), 240u);
  CString longChinese;
  for (int i = 0; i < 200; ++i) longChinese += "电";
  const CString cut = SafePathElement(longChinese, 1);
  EXPECT_EQ(cut.size(), 160u);  // 80 characters of 3 UTF-8 bytes each
  EXPECT_EQ(CDatabase2::ReplaceBackSlash("a\\b'c\"d"), "a\\\\b\\'c\\\"d");
}

TEST_F(StoreTest, AFullDiskUnderTheTraceLogShowsNoBoxInsideTheTransaction) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  CVirtualLoop loop;
  CFakeMessageBox boxes;
  ResetLogFailureNotice();
  auto* db = Login();
  db->AddPushedRecord(Doc(Movie("201", "a", "1M")), Saveas(), nullptr);
  ::unlink((home.Path() + "trace.log").c_str());
  ASSERT_EQ(::symlink("/dev/full", (home.Path() + "trace.log").c_str()), 0);
  CGIDList added;
  // Filtering the first one writes a trace line from inside the open transaction.
  db->AddPushedRecord(Doc(Movie("201", "a", "1M") + Movie("202", "b", "1M")), Saveas(), &added);
  EXPECT_TRUE(boxes.texts.empty());
  EXPECT_EQ(added, CGIDList{202});
  EXPECT_EQ(Get(202).GetTaskDisplayName(), "b");
  loop.RunPending();
  EXPECT_EQ(boxes.texts.size(), 1u);
  ResetLogFailureNotice();
}
