// Times the record database on 100 000 records: storing a 1 000-movie push, the
// identifier query of each category, and one cell's record read; then the push
// engine on them: showing each category, the cell texts of a 40-row page and one
// tick of the download poll (medians over interleaved rounds, and the cold first).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "push/PushDoc.h"
#include "settings/ConfigDoc.h"
#include "store/IntfDB.h"
#include "store/MultiUserMgr.h"
#include "tests/support/FakeAutomation.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/SqliteControl.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/Platform.h"

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
// A component that reports a download half done.
int32_t HalfDone(const CString& method, const CString*, CString& result) {
  if (method == "GetDownloadedPercent" || method == "GetDownloadRate") result = "50.5";
  if (method == "GetLeftTime" || method == "GetPeerConnNum") result = "7";
  if (method == "GetOtherRunInfo") result = "downloading";
  return AUTO_S_OK;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void BenchPushEngine(const std::string& home) {
  CVirtualLoop loop;
  CPlatform::SetMainWindowCreated(true);
  CFakeAutomation automation;
  auto component = std::make_shared<SFakeComponent>();
  const char* names[] = {"IsRunning",   "StartBT",        "GetDownloadedPercent",
                         "GetLeftTime", "GetPeerConnNum", "GetDownloadRate",
                         "Exit",        "GetLastError",   "GetOtherRunInfo"};
  for (int i = 0; i < 9; ++i) component->methods[names[i]] = i + 1;
  component->onInvoke = HalfDone;
  automation.components["zenu.BTDownload"] = component;

  CPushDoc* doc = CPushDoc::GetInstance();
  // Movie 3 is new (3 % 7 == 5 above) and becomes the running download.
  CheckFolder(GetExePath(0) + "data/3", 1);
  std::ofstream(home + "/data/3/3.torrent") << "d4:infod";
  CSqliteControl sql;
  sql.Connect(GetExePath(0) + "users/bench/db.dat");
  sql.Execute("update records set iFetchMethod = 1 where ulGID = 3", nullptr);
  sql.Close();
  doc->TaskStatusMachine(3, TE_START, nullptr);

  const int rounds = 9;
  std::vector<double> show[6], cells, tick;
  size_t rows[6] = {};
  for (int round = 0; round < rounds; ++round) {
    for (int category = 0; category < 6; ++category) {
      auto start = Clock::now();
      doc->DisplayCategory(category, kKeepValue, kKeepValue, kKeepValue);
      show[category].push_back(MsSince(start));
      rows[category] = doc->GetGIDs().size();
    }
    auto start = Clock::now();
    for (uint32_t row = 0; row < 40; ++row) {
      for (uint32_t column = 0; column < 11; ++column) {
        SRecordViewEvent evt;
        evt.iType = 6;
        evt.iRow = row;
        evt.iColumn = column;
        doc->OnRecordViewEvent(evt);
      }
    }
    cells.push_back(MsSince(start));
    start = Clock::now();
    doc->OnBTTimerCallerEvent();
    tick.push_back(MsSince(start));
  }
  for (int category = 0; category < 6; ++category)
    std::printf("DisplayCategory(%d): cold %.2f ms, median %.2f ms (%zu rows)\n", category,
                show[category][0], Median(show[category]), rows[category]);
  std::printf("cell texts of 40 rows x 11 columns: cold %.2f ms, median %.2f ms\n", cells[0],
              Median(cells));
  std::printf("one download poll tick: cold %.2f ms, median %.2f ms\n", tick[0], Median(tick));
  CPushDoc::ResetInstance();
  CPlatform::SetMainWindowCreated(false);
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
  const CString saveas = CConfigDoc::GetInstance()->GetSaveas();

  // 100 000 records spread over every status and rating, in 100 pushes.
  auto start = Clock::now();
  for (uint32_t first = 1; first <= 100000; first += 1000) {
    db->AddPushedRecord(MediaInfo(first, 1000), saveas, nullptr);
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
  db->AddPushedRecord(MediaInfo(200001, 1000), saveas, &added);
  std::printf("AddPushedRecord, 1000 new movies: %.1f ms (%zu added)\n", MsSince(start),
              added.size());
  start = Clock::now();
  db->AddPushedRecord(MediaInfo(200001, 1000), saveas, &added);
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

  BenchPushEngine(home);
  CIntfDB::ResetInstance();
  DeleteDirectory(home);
  return 0;
}
