#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <utility>
#include <vector>

#include "tests/store/StoreFixture.h"
#include "zenuModule/src/desktop/IniFile.h"

namespace {
CString OldRecord(int gid, const CString& extra = "") {
  return "<rec><ulGID>" + std::to_string(gid) +
         "</ulGID><eStatus>2</eStatus>"
         "<strTaskDisPlayName> 旧电影" +
         std::to_string(gid) +
         " </strTaskDisPlayName>"
         "<strBulletinUrl>http://h/b/" +
         std::to_string(gid) +
         "</strBulletinUrl>"
         "<strLocalAbsPath>C:\\电影\\it's</strLocalAbsPath><fExpectEval>3.456</fExpectEval>"
         "<ulSize>700</ulSize><iEval>4</iEval><tlPushed>1300000000</tlPushed>"
         "<fDownloadedPercent>100</fDownloadedPercent>" +
         extra + "</rec>";
}

void WriteOld(const CString& folder, const CString& body, size_t padTo = 0) {
  CString xml = "<?xml version=\"1.0\" encoding=\"GBK\"?><db>" + body + "</db>";
  if (xml.size() < padTo) xml += CString(padTo - xml.size(), ' ');
  MakeFolder(folder);
  ASSERT_TRUE(WriteWholeFile(folder + "/database.xml", xml));
}
}  // namespace

TEST_F(StoreTest, OldXmlRecordsAreConvertedOnceWithShiftedIdentifiers) {
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("old", "d");
  const CString folder = Home() + "users/old";
  WriteOld(folder,
           OldRecord(5, "<title>x</title>") + OldRecord(6) + "<rec><eStatus>1</eStatus></rec>",
           20000);
  ASSERT_TRUE(MakeFolder(Home() + "data"));
  ASSERT_TRUE(MakeFolder(Home() + "data/5"));
  ASSERT_TRUE(WriteWholeFile(Home() + "data/5/5.torrent", "t"));

  auto* db = Login("old");
  EXPECT_TRUE(box.texts.empty());  // exactly 20000 bytes: no message
  EXPECT_EQ(db->GetCount(), 2);
  const CRecord r = Get(60005);
  EXPECT_EQ(r.GetStatus(), RS_DOWNLOADED);
  EXPECT_EQ(r.GetTaskDisplayName(), "旧电影5");
  EXPECT_EQ(r.GetLocalAbsPath(), "C:\\电影\\it's");
  EXPECT_EQ(r.RawBulletinUrl(), "http://h:88/b/5");  // the port goes in with the address
  EXPECT_DOUBLE_EQ(r.GetExpectEval(), 3.46);
  EXPECT_EQ(r.GetSize(), 700u);
  EXPECT_EQ(r.GetEval(), 4);
  EXPECT_EQ(r.GetPushed(), 1300000000);
  EXPECT_DOUBLE_EQ(r.GetDownloadedPercent(), 100.0);
  EXPECT_EQ(r.GetFetchMethod(), 1);
  EXPECT_EQ(Cell("strFetchUrl", 60005), "");
  CRecord none;
  EXPECT_FALSE(db->GetOneRecordData(5, &none));

  const CString trace = home.TraceLog();
  EXPECT_NE(trace.find("xml file size is: 20000"), CString::npos);
  EXPECT_EQ(Count(trace, "CRecord 没有\"title\"的属性"), 1);
  EXPECT_EQ(Count(trace, "出现了错误的 GID!"), 1);
  EXPECT_LT(trace.find("After db.LoadDB"), trace.find("TransDBFormat() end"));
  EXPECT_FALSE(PathExists(folder + "/database.xml"));
  EXPECT_TRUE(IsFolder(Home() + "data"));
  EXPECT_TRUE(ListFolder(Home() + "data").empty());

  // Reopening the existing file never converts again.
  WriteOld(folder, OldRecord(9));
  CIntfDB::ResetInstance();
  ASSERT_TRUE(CIntfDB::GetInstance()->LoadDB());
  EXPECT_EQ(CIntfDB::GetInstance()->GetCount(), 2);
  EXPECT_TRUE(PathExists(folder + "/database.xml"));
}

TEST_F(StoreTest, LargeOrBrokenOldFiles) {
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("big", "d");
  WriteOld(Home() + "users/big", OldRecord(1), 20001);
  auto* db = Login("big");
  ASSERT_EQ(box.texts.size(), 1u);
  EXPECT_EQ(box.texts[0], "需要将旧格式的数据文件进行一次性转换，可能要等待一段时间");
  EXPECT_EQ(db->GetCount(), 1);
}

TEST_F(StoreTest, OldRecordsAreDeletedOnlyOnceCommitted) {
  // Not XML at all, or cut short: nothing could be read, so the file stays.
  for (const auto& [name, content] : std::vector<std::pair<CString, CString>>{
           {"garbage", "no xml at all"}, {"cut", "<db><rec><ulGID>3</ul"}}) {
    CIntfDB::ResetInstance();
    CMultiUserMgr::GetInstance()->SaveAccountAndPwd(name, "d");
    const CString folder = Home() + "users/" + name;
    MakeFolder(folder);
    ASSERT_TRUE(WriteWholeFile(folder + "/database.xml", content));
    EXPECT_EQ(Login(name)->GetCount(), 0);
    EXPECT_FALSE(PathExists(folder + "/database.xml"));
    CString kept;
    EXPECT_TRUE(ReadWholeFile(folder + "/database.xml.unconverted", kept));
    EXPECT_EQ(kept, content);
  }
  EXPECT_EQ(Count(home.TraceLog(), "database.xml could not be converted, kept as"), 2);

  // The disk fills up while the records go in: none of them stays half done,
  // and the old file waits beside the database.
  CIntfDB::ResetInstance();
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("full", "d");
  CString many;
  for (int gid = 1; gid <= 3000; ++gid) many += OldRecord(gid);
  WriteOld(Home() + "users/full", many);
  struct rlimit before {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = before;
  small.rlim_cur = 128 * 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  auto* db = CIntfDB::GetInstance();
  const BOOL loaded = db->LoadDB();
  ::setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, oldHandler);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(db->GetCount(), 0);
  EXPECT_TRUE(PathExists(Home() + "users/full/database.xml.unconverted"));
  EXPECT_FALSE(PathExists(Home() + "users/full/database.xml"));

  // Room again: the good file of another user converts and goes.
  CIntfDB::ResetInstance();
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("fine", "d");
  WriteOld(Home() + "users/fine", OldRecord(7));
  EXPECT_EQ(Login("fine")->GetCount(), 1);
  EXPECT_FALSE(PathExists(Home() + "users/fine/database.xml"));
  EXPECT_FALSE(PathExists(Home() + "users/fine/database.xml.unconverted"));
}

TEST_F(StoreTest, ReadableOldRecordsConvertTheRestIsKeptAndOtherTorrentsStay) {
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("odd", "d");
  const CString folder = Home() + "users/odd";
  WriteOld(folder, OldRecord(5) + OldRecord(6) +
                       "<rec><ulGID>abc</ulGID><eStatus>2</eStatus></rec>"
                       "<rec><ulGID>6</ulGID><eStatus>1</eStatus></rec>"
                       "<rec><ulGID>12x</ulGID><eStatus>2</eStatus></rec>"
                       // Shifted, the first would become the reserved id.
                       "<rec><ulGID>4294907295</ulGID><eStatus>2</eStatus></rec>"
                       "<rec><ulGID>4294907294</ulGID><eStatus>2</eStatus></rec>");
  // 77: a torrent of another user of the machine, with its resume data.
  ASSERT_TRUE(MakeFolder(Home() + "data"));
  for (const CString id : {"5", "6", "77"}) {
    ASSERT_TRUE(MakeFolder(Home() + "data/" + id));
    ASSERT_TRUE(WriteWholeFile(Home() + "data/" + id + "/" + id + ".resume", "r"));
  }

  auto* db = Login("odd");
  EXPECT_EQ(db->GetCount(), 3);
  EXPECT_EQ(Get(60006).GetStatus(), RS_DOWNLOADED);  // the first of the two 6
  EXPECT_EQ(Get(kReservedGID - 1).GetStatus(), RS_DOWNLOADED);
  CRecord none;
  EXPECT_FALSE(db->GetOneRecordData(kReservedGID, &none));
  EXPECT_FALSE(PathExists(folder + "/database.xml"));
  CString kept;
  EXPECT_TRUE(ReadWholeFile(folder + "/database.xml.unconverted", kept));
  EXPECT_NE(kept.find("<ulGID>abc</ulGID>"), CString::npos);
  const CString trace = home.TraceLog();
  EXPECT_EQ(Count(trace, "跳过第"), 4);
  EXPECT_NE(trace.find("ulGID \"4294907295\""), CString::npos);
  EXPECT_NE(trace.find("ulGID \"abc\""), CString::npos);
  EXPECT_NE(trace.find("ulGID \"12x\""), CString::npos);
  EXPECT_FALSE(PathExists(Home() + "data/5"));
  EXPECT_FALSE(PathExists(Home() + "data/6"));
  EXPECT_TRUE(PathExists(Home() + "data/77/77.resume"));
}
