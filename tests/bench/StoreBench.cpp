// Times the record database on 100 000 records: storing a 1 000-movie push, the
// identifier query of each category, and one cell's record read.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/ConfigDoc.h"
#include "store/IntfDB.h"
#include "store/MultiUserMgr.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/SqliteControl.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/FileSystem.h"

namespace {
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

CString MediaInfo(uint32_t first, int count) {
  CString xml = "<?xml version=\"1.0\"?><tasks>";
  for (int i = 0; i < count; ++i) {
    const uint32_t gid = first + static_cast<uint32_t>(i);
    xml += StringFormat(
        "<m gid=\"%u\" file_name=\"f%u.rmvb\" bt_seed_url=\"http://h/t/%u.torrent\" "
        "task_display_name=\"电影 %u\" expect_eval=\"3.5\" size=\"700M\" "
        "bulletin_url=\"http://h/b/%u\" use_public_torrent=\"1\" store_name=\"s%u\" "
        "fetch_method=\"1\" fetch_url=\"\"/>",
        gid, gid, gid, gid, gid, gid);
  }
  return xml + "</tasks>";
}
}  // namespace

int main() {
  char pattern[] = "/tmp/vadeko-bench-XXXXXX";
  const char* home = mkdtemp(pattern);
  if (!home) return 1;
  setenv("VADEKO_HOME", home, 1);
  setenv("XDG_CONFIG_HOME", (std::string(home) + "/xdg").c_str(), 1);
  SetTraceFilePath(std::string(home) + "/trace.log");
  SetErrorFilePath(std::string(home) + "/error.log");

  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("bench", "0123456789abcdef0123456789abcdef");
  auto* db = CIntfDB::GetInstance();
  db->LoadDB();

  // 100 000 records spread over every status and rating, in 100 pushes.
  auto start = Clock::now();
  for (uint32_t first = 1; first <= 100000; first += 1000) {
    db->AddPushedRecord(MediaInfo(first, 1000), nullptr);
  }
  const double fill = MsSince(start);
  const int32_t states[] = {1, 2, 4, 12, 20, 32, 64};
  CSqliteControl sql;
  sql.Connect(GetExePath(0) + "users/bench/db.dat");
  sql.Execute("begin", nullptr);
  for (int s = 0; s < 7; ++s) {
    sql.Execute(StringFormat("update records set eStatus = %d, iEval = %d where ulGID %% 7 = %d",
                             states[s], s % 3 == 0 ? 0 : 4, s),
                nullptr);
  }
  sql.Execute("commit", nullptr);
  sql.Close();
  std::printf("records: %d (filled in %.0f ms)\n", db->GetCount(), fill);

  CGIDList added;
  start = Clock::now();
  db->AddPushedRecord(MediaInfo(200001, 1000), &added);
  std::printf("AddPushedRecord, 1000 new movies: %.1f ms (%zu added)\n", MsSince(start),
              added.size());
  start = Clock::now();
  db->AddPushedRecord(MediaInfo(200001, 1000), &added);
  std::printf("AddPushedRecord, same 1000 movies again (all filtered): %.1f ms\n", MsSince(start));

  const char* queries[] = {
      "select ulGID from records where eStatus = 2",
      "select ulGID from records where eStatus = 4 or eStatus = 12 or eStatus = 20 ",
      "select ulGID from records where eStatus = 1",
      "select ulGID from records where eStatus = 32",
      "select ulGID from records where eStatus = 64",
      "select ulGID from records where iEval = 0"};
  for (int category = 0; category < 6; ++category) {
    CGIDList ids;
    start = Clock::now();
    db->GetGIDListBySql(queries[category], &ids);
    std::printf("category %d identifier query: %.2f ms (%zu ids)\n", category, MsSince(start),
                ids.size());
  }

  CRecord rec;
  const int reads = 1000;
  start = Clock::now();
  for (int i = 0; i < reads; ++i) db->GetOneRecordData(1 + static_cast<uint32_t>(i) * 97, &rec);
  std::printf("cell text query (GetOneRecordData): %.1f us each\n",
              MsSince(start) * 1000.0 / reads);

  CIntfDB::ResetInstance();
  DeleteDirectory(home);
  return 0;
}
