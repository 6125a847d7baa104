#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "push/TorrentFiles.h"
#include "settings/ConfigDoc.h"
#include "tests/push/DownloadFixture.h"
#include "zenuModule/src/TextCodec.h"

namespace {
constexpr size_t kMovieBytes = 300000;

// A single-file torrent as the service makes them (the pieces do not matter here).
void WriteTorrent(uint32_t gid, const std::string& utf8Name, size_t length) {
  const CString path = StringFormat("%s/%u.torrent", CPushDoc::TorrentFolder(gid).c_str(), gid);
  std::ofstream(ToSysPath(path), std::ios::binary | std::ios::trunc)
      << "d8:announce0:4:infod6:lengthi" << length << "e4:name" << utf8Name.size() << ":"
      << utf8Name << "12:piece lengthi262144e6:pieces0:ee";
}

void Append(const CString& gbkPath, size_t bytes) {
  std::ofstream(ToSysPath(gbkPath), std::ios::binary | std::ios::app) << std::string(bytes, 'v');
}
}  // namespace

class HandOffTest : public DownloadTest {
 protected:
  HandOffTest() {
    save = CConfigDoc::GetInstance()->GetSaveas();
    while (save.size() > 1 && save.back() == '/') save.pop_back();
    CheckFolder(save, 1);
  }
  // The file-system notifications arrive on their own thread: waits (real
  // time, bounded) until one was posted to the loop, then runs it.
  void TakeNotifications(size_t before) {
    for (int i = 0; i < 500 && loop.PostedCount() == before; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GT(loop.PostedCount(), before) << "no notification of the change";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    loop.RunPending();
  }
  bool Complete(uint32_t gid) { return CPushDoc::IsHandOffComplete(Get(gid)); }
  // Virtual seconds until the record is seen complete; -1 when it is not within a minute.
  int SecondsToComplete(uint32_t gid) {
    for (int s = 0; s <= 60; ++s) {
      if (Complete(gid)) return s;
      loop.RunPending();
      Tick();
    }
    return -1;
  }

  CString save;
  CScriptedApps apps;
  CRecordingShell shell;
};

TEST_F(HandOffTest, AHandedOffMovieWrittenInStepsIsShownDownloadedAndPlays) {
  apps.InstallThunder();
  Add(1, RS_NEW);
  WriteTorrent(1, GBKToUtf8("电影一.mkv"), kMovieBytes);
  const CString file = save + "/电影一.mkv";
  Event(1, TE_THUNDER);
  ASSERT_EQ(Status(1), RS_THUNDER);

  // Half of it, then nothing for a while: not complete.
  size_t before = loop.PostedCount();
  Append(file, kMovieBytes / 2);
  TakeNotifications(before);
  loop.AdvanceBy(10000);
  EXPECT_FALSE(Complete(1));

  // The rest: whole, but only once it stayed unchanged for the quiet period.
  before = loop.PostedCount();
  Append(file, kMovieBytes - kMovieBytes / 2);
  TakeNotifications(before);
  loop.AdvanceBy((CHandOffWatch::kQuietSeconds - 1) * 1000);
  EXPECT_FALSE(Complete(1));
  ASSERT_GE(SecondsToComplete(1), 0);

  const CRecord rec = Get(1);
  EXPECT_EQ(rec.GetStatus(), RS_THUNDER);  // the stored status others rely on stays
  EXPECT_EQ(rec.GetDownloadedPercent(), 100.0);
  ASSERT_FALSE(Balloons().empty());
  EXPECT_EQ(Balloons().back(), "电影:\"电影1\"下载已经完成");

  // The download manager's list shows it downloaded, and Play plays the file.
  doc->ChangeThunderTaskEx(1);
  ASSERT_EQ(doc->GetGIDs(), (std::vector<uint32_t>{1}));
  EXPECT_EQ(Raw(0, 2), "2");
  EXPECT_EQ(Raw(0, 1).substr(0, 3), "100");
  EXPECT_EQ(frame.arrBtn[0], 1);
  doc->OnPlay();
  ASSERT_EQ(shell.opened.size(), 2u);  // the torrent to the manager, then the movie
  EXPECT_EQ(shell.opened.back(), file);
}

TEST_F(HandOffTest, WatchesAreArmedAgainAtLoginAndOnlyTheExpectedSizeCounts) {
  // Handed off in an earlier run: one whole meanwhile, one of the wrong size,
  // one in a folder of the torrent that appears only later.
  for (uint32_t gid : {1u, 2u, 3u}) Add(gid, RS_THUNDER);
  WriteTorrent(1, "a.mkv", kMovieBytes);
  WriteTorrent(2, "b.mkv", kMovieBytes);
  Append(save + "/a.mkv", kMovieBytes);
  Append(save + "/b.mkv", kMovieBytes + 1);
  const CString torrent3 = StringFormat("%s/3.torrent", CPushDoc::TorrentFolder(3).c_str());
  std::ofstream(ToSysPath(torrent3), std::ios::binary | std::ios::trunc)
      << "d4:infod5:filesld6:lengthi5e4:pathl8:info.txteed6:lengthi" << kMovieBytes
      << "e4:pathl5:c.mkveee4:name1:c12:piece lengthi262144e6:pieces0:ee";

  doc->WatchHandOffs();
  EXPECT_GE(SecondsToComplete(1), 0);
  EXPECT_FALSE(Complete(2));
  EXPECT_FALSE(Complete(3));

  size_t before = loop.PostedCount();
  CheckFolder(save + "/c", 1);
  TakeNotifications(before);
  before = loop.PostedCount();
  Append(save + "/c/c.mkv", kMovieBytes);
  TakeNotifications(before);
  EXPECT_GE(SecondsToComplete(3), 0);
  EXPECT_FALSE(Complete(2));

  // The manager rewrote the file of the wrong size: followed all along.
  before = loop.PostedCount();
  ASSERT_EQ(0, truncate(ToSysPath(save + "/b.mkv").c_str(), kMovieBytes));
  TakeNotifications(before);
  EXPECT_GE(SecondsToComplete(2), 0);
}

TEST_F(HandOffTest, ATorrentNamingAPathOutsideItsFolderIsNotFollowed) {
  const CString path = save + "/t.torrent";
  auto files = [&](const std::string& info) {
    std::ofstream(ToSysPath(path), std::ios::binary | std::ios::trunc) << "d4:info" << info << "e";
    std::vector<STorrentFile> out;
    return ReadTorrentFiles(path, out) ? out.size() : 0u;
  };
  EXPECT_EQ(files("d6:lengthi3e4:name1:ae"), 1u);
  EXPECT_EQ(files("d5:filesld6:lengthi3e4:pathl1:b1:ceee4:name1:ae"), 1u);
  EXPECT_EQ(files("d6:lengthi3e4:name2:..e"), 0u);
  EXPECT_EQ(files("d6:lengthi3e4:name4:/etce"), 0u);
  EXPECT_EQ(files("d5:filesld6:lengthi3e4:pathl2:..6:passwdeee4:name1:ae"), 0u);
  EXPECT_EQ(files("d5:filesld6:lengthi3e4:pathl0:eee4:name1:ae"), 0u);
  EXPECT_EQ(files("d6:lengthi-3e4:name1:ae"), 0u);
  EXPECT_EQ(files(std::string(100000, 'l')), 0u);  // nesting beyond any torrent's
  EXPECT_EQ(files("d6:lengthi3e4:name9999:ae"), 0u);
}
