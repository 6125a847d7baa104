#include "store/Record.h"

#include <gtest/gtest.h>

#include "tests/support/TempHome.h"
#include "zenuModule/src/ProcessValues.h"

TEST(Record, FreshValuesAndStatusVocabulary) {
  CRecord r;
  EXPECT_EQ(r.GetStatus(), 32);
  EXPECT_EQ(r.GetGID(), 0u);
  EXPECT_DOUBLE_EQ(r.GetRate(), -1.0);
  EXPECT_EQ(r.GetLeftTime(), -100);
  EXPECT_EQ(RecordStatusText(r.GetStatus()), "新推送");
  EXPECT_EQ(RecordStatusText(RS_QUEUED), "排队中");
  EXPECT_EQ(RecordStatusText(RS_THUNDER), "迅雷");
  EXPECT_EQ(RecordStatusText(5), "");
  for (int s : {RS_DOWNLOADING, RS_QUEUED, RS_STOPPED}) EXPECT_EQ(s & 4, 4);
  for (int s : {RS_DELETED, RS_DOWNLOADED, RS_NEW, RS_THUNDER}) EXPECT_EQ(s & 4, 0);
}

TEST(Record, SetValByStringNameTable) {
  CTempHome home;
  CRecord r;
  r.SetValByString("fExpectEval", "3.5");
  EXPECT_DOUBLE_EQ(r.GetExpectEval(), 3.5);
  r.SetValByString("iEval", "abc");
  EXPECT_EQ(r.GetEval(), 0);
  r.SetValByString("iEval", "4stars");
  EXPECT_EQ(r.GetEval(), 4);
  r.SetValByString("ulGID", "4000000000");
  EXPECT_EQ(r.GetGID(), 4000000000u);
  r.SetValByString("bNeedShow", "2");
  EXPECT_TRUE(r.GetNeedShow());
  r.SetValByString("strTaskDisPlayName", "电影 \"名\"");
  EXPECT_EQ(r.GetTaskDisplayName(), "电影 \"名\"");
  r.SetValByString("tlPushed", "1700000000");
  EXPECT_EQ(r.GetPushed(), 1700000000);
  // Only the low 32 bits of a time come from text.
  r.SetFinishedTime(int64_t{3} << 32);
  r.SetValByString("tlFinishedTime", "7");
  EXPECT_EQ(r.GetFinishedTime(), (int64_t{3} << 32) | 7);

  const CRecord before = r;
  r.SetValByString("strTitle", "x");
  r.SetValByString("estatus", "1");
  r.SetValByString("iFetchMethod", "5");  // not in the table
  EXPECT_EQ(r.GetStatus(), before.GetStatus());
  EXPECT_EQ(r.GetFetchMethod(), 0);
  const CString trace = home.TraceLog();
  EXPECT_NE(trace.find("CRecord::SetValByString(): CRecord 没有\"strTitle\"的属性"), CString::npos);
  EXPECT_NE(trace.find("没有\"estatus\"的属性"), CString::npos);
}

TEST(Record, CopiesAreIndependentIncludingTheirNameTables) {
  CRecord source;
  source.SetGID(7);
  source.SetTaskDisPlayName("源");
  source.SetRate(12.5);
  source.SetTrackerInfo("tracker");
  source.SetFetchMethod(5);
  source.SetFetchUrl("http://x/y");
  CRecord copy(source);
  EXPECT_EQ(copy.GetGID(), 7u);
  EXPECT_DOUBLE_EQ(copy.GetRate(), 12.5);
  EXPECT_EQ(copy.GetTrackerInfo(), "tracker");
  EXPECT_EQ(copy.FetchUrl(), "http://x/y");
  copy.SetValByString("strTaskDisPlayName", "副本");
  copy.SetValByString("ulGID", "8");
  EXPECT_EQ(source.GetTaskDisplayName(), "源");
  EXPECT_EQ(source.GetGID(), 7u);
  EXPECT_EQ(copy.GetTaskDisplayName(), "副本");

  CRecord assigned;
  assigned = copy;
  assigned.SetValByString("iEval", "5");
  EXPECT_EQ(copy.GetEval(), 0);
  EXPECT_EQ(assigned.GetEval(), 5);
  EXPECT_EQ(assigned.GetGID(), 8u);
}

TEST(Record, BulletinUrlTakesTheRemoteServicePort) {
  CProcessValues::Reset();
  CRecord r;
  r.SetBulletinUrl("http://movies.example/bulletin/12.html?a=1");
  EXPECT_EQ(r.GetBulletinUrl(), "http://movies.example:88/bulletin/12.html?a=1");
  CProcessValues::SetRemoteSrvPort(80);
  EXPECT_EQ(r.GetBulletinUrl(), "http://movies.example/bulletin/12.html?a=1");
  EXPECT_EQ(r.RawBulletinUrl(), "http://movies.example/bulletin/12.html?a=1");
  CProcessValues::Reset();
}
