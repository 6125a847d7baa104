#include <json/json.h>

#include <random>

#include "tests/store/StoreFixture.h"
#include "zenuModule/src/ProgramException.h"

namespace {
// Every stored row must still read back whole after hostile input.
void ExpectTableIntact(CIntfDB* db, int expectedRows) {
  EXPECT_EQ(db->GetCount(), expectedRows);
  CGIDList all;
  db->GetGIDList(0, &all, 1);
  EXPECT_EQ(static_cast<int>(all.size()), expectedRows);
  for (uint32_t gid : all) {
    CRecord r;
    EXPECT_TRUE(db->GetOneRecordData(gid, &r));
    EXPECT_EQ(r.GetGID(), gid);
    EXPECT_EQ(r.GetStatus(), RS_NEW);
    EXPECT_EQ(r.GetMediaFormat(), "rmvb");
  }
}
}  // namespace

TEST_F(StoreTest, HostileMediaInfoDocumentsAreSkippedElementByElement) {
  auto* db = Login();
  const std::vector<CString> broken = {"", "<", "<a><b></a>", "just text", "<a gid='1'",
                                       CString("<a>\0</a>", 8), "<?xml version=\"1.0\"?>"};
  for (const auto& doc : broken) {
    CGIDList added;
    db->AddPushedRecord(doc, Saveas(), &added);
    EXPECT_TRUE(added.empty());
  }
  EXPECT_EQ(Count(home.TraceLog(), "解析数据错误:"), static_cast<int>(broken.size()));

  const CString hostile =
      "<list>"
      "<m/>"                                             // no gid
      "<m gid=\"abc\"/>"                                 // not a number
      "<m gid=\"-4\"/>"                                  // not positive
      "<m gid=\"99999999999\"/>"                         // beyond 32 bits
      "<m gid=\"1\" size=\"99999999999999999999G\"/>"    // huge size
      "<m gid=\"2\" size=\"-5M\" expect_eval=\"1e999\" use_public_torrent=\"x\"/>"
      "<m gid=\"3\" task_display_name=\"a&#x1;b&#9;c\" fetch_method=\"1,2); drop table records;--\"/>"
      "<m gid=\"4\" task_display_name=\"\xFF\xFE\x80\x81\" file_name=\"'\\&quot;\"/>"
      "<m gid=\"5\" expect_eval=\"nan\" size=\"K\"/>"
      "<m gid=\"1\"/>"                                   // duplicate in the same list
      "</list>";
  CGIDList added;
  db->AddPushedRecord(hostile, Saveas(), &added);
  EXPECT_EQ(added, (CGIDList{1, 2, 3, 4, 5}));
  const CString trace = home.TraceLog();
  EXPECT_EQ(Count(trace, "忽略了没有有效GID的推送电影"), 4);
  EXPECT_EQ(Count(trace, "过滤了已存在的推送电影,GID:1"), 1);
  EXPECT_EQ(Get(1).GetSize(), 2147483647u);
  EXPECT_EQ(Get(2).GetSize(), 0u);
  EXPECT_EQ(Get(2).GetTorrentType(), 0);
  EXPECT_EQ(Get(3).GetTaskDisplayName(), "a\x01" "b\tc");
  EXPECT_EQ(Get(3).GetLocalAbsPath(), Home() + "电影/a_b_c");
  EXPECT_EQ(Get(3).GetFetchMethod(), 1);
  EXPECT_EQ(Get(4).GetTaskDisplayName(), "\xFF\xFE\x80\x81");
  EXPECT_EQ(Get(4).GetFileName(), "'\\\"");
  EXPECT_EQ(Get(5).GetSize(), 1u);
  ExpectTableIntact(db, 5);

  // Random bytes around a valid movie never break the store.
  std::mt19937 rng(7);
  int rows = 5;
  for (int round = 0; round < 200; ++round) {
    CString noise;
    for (int i = 0; i < 12; ++i) noise += static_cast<char>(rng() % 256);
    const CString gid = std::to_string(1000 + round);
    CString doc = "<l><m gid=\"" + gid + "\" task_display_name=\"" + noise + "\" size=\"" + noise +
                  "\"/></l>";
    if (round % 3 == 0) doc.insert(rng() % doc.size(), noise);
    CGIDList got;
    db->AddPushedRecord(doc, Saveas(), &got);
    rows += static_cast<int>(got.size());
    for (uint32_t g : got) EXPECT_EQ(Get(g).GetStatus(), RS_NEW);
  }
  ExpectTableIntact(db, rows);
}

TEST_F(StoreTest, HostilePushNowObjectsAreRefusedOrStoredIntact) {
  auto* db = Login();
  auto raises = [db](const Json::Value* task) {
    CRecord rec;
    try {
      db->AddPushedRecord2(task, Saveas(), &rec);
    } catch (CProgramException* e) {
      const bool ok = e->GetError() == "增加立即推送的电影出错";
      e->Delete();
      return ok;
    }
    return false;
  };
  Json::Value array(Json::arrayValue);
  array.append(5);
  Json::Value noId(Json::objectValue);
  noId["UTF8_MOVIE_NAME"] = "x";
  Json::Value badId;
  badId["INT_MOVIE_ID"] = "abc";
  Json::Value negative;
  negative["INT_MOVIE_ID"] = -3;
  Json::Value objectId;
  objectId["INT_MOVIE_ID"] = Json::Value(Json::objectValue);
  EXPECT_TRUE(raises(nullptr));
  EXPECT_TRUE(raises(&array));
  EXPECT_TRUE(raises(&noId));
  EXPECT_TRUE(raises(&badId));
  EXPECT_TRUE(raises(&negative));
  EXPECT_TRUE(raises(&objectId));
  EXPECT_EQ(db->GetCount(), 0);

  Json::Value odd;
  odd["INT_MOVIE_ID"] = "42";
  odd["UTF8_MOVIE_NAME"] = Json::Value(Json::arrayValue);
  odd["ASC_BULLETIN_URL"] = 12;
  odd["ASC_SIZE"] = "99999999999999999999M";
  odd["INT_FETCH_METHOD"] = "1'); drop table records; --";
  odd["ASC_FETCH_URL"] = CString("a\0b", 3);
  CRecord rec;
  ASSERT_TRUE(db->AddPushedRecord2(&odd, Saveas(), &rec));
  EXPECT_EQ(rec.GetGID(), 42u);
  EXPECT_EQ(rec.GetTaskDisplayName(), "");
  EXPECT_EQ(rec.GetLocalAbsPath(), Home() + "电影/42");
  EXPECT_EQ(rec.RawBulletinUrl(), "12");
  EXPECT_EQ(rec.GetSize(), 2147483647u);
  EXPECT_EQ(rec.GetFetchMethod(), 1);

  // Titles that are not valid UTF-8 are converted, never stored half-way.
  Json::Value bad;
  bad["INT_MOVIE_ID"] = 43;
  bad["UTF8_MOVIE_NAME"] = "\xC3\x28 \"q\" '";
  ASSERT_TRUE(db->AddPushedRecord2(&bad, Saveas(), &rec));
  EXPECT_NE(rec.GetTaskDisplayName().find("\"q\" '"), CString::npos);
  ExpectTableIntact(db, 2);
}
