#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/btdownload/ComponentFixture.h"
#include "zenuModule/src/TextCodec.h"

namespace {
constexpr std::int64_t kMiB = 1 << 20;

// Files of the component's process that are open on path.
int OpenHandles(uint pid, const std::string& path) {
  int open = 0;
  std::error_code ec;
  for (const auto& fd :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    if (std::filesystem::read_symlink(fd.path(), ec) == path) ++open;
  }
  return open;
}

bool Contains(const CString& text, const CString& part) { return text.find(part) != CString::npos; }

// A small file system of its own: a size-limited tmpfs where this process may
// mount one, otherwise the component's free-space figures come from a file.
class CSmallDisk final {
 public:
  CSmallDisk(const std::string& folder, std::int64_t size) : m_folder(folder), m_size(size) {
    std::filesystem::create_directories(folder);
    const std::string options = "size=" + std::to_string(size);
    m_mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!m_mounted) {
      m_figures = folder + ".room";
      ::setenv("VADEKO_BT_DISK_ROOM", m_figures.c_str(), 1);
    }
    LeaveFree(size);
  }
  ~CSmallDisk() {
    if (m_mounted) ::umount2(m_folder.c_str(), MNT_DETACH);
    ::unsetenv("VADEKO_BT_DISK_ROOM");
  }
  // Fills the disk until only bytes are free (or, with no disk of its own,
  // says so).
  void LeaveFree(std::int64_t bytes) {
    if (!m_mounted) {
      std::ofstream(m_figures) << bytes << " " << m_size;
      return;
    }
    const std::string filler = m_folder + "/filler";
    std::filesystem::remove(filler);
    const std::int64_t fill = std::filesystem::space(m_folder).available - bytes;
    if (fill > 0) std::ofstream(filler, std::ios::binary) << std::string(fill, 'f');
  }

 private:
  std::string m_folder;
  std::int64_t m_size;
  bool m_mounted = false;
  std::string m_figures;
};
}  // namespace

TEST_F(BTComponentTest, TheFirstHundredIsWrittenOutAndExitClosesTheFiles) {
  const auto seed = MakeSeed(3, 32 * kMiB);
  bt->CreateInstance();
  const uint pid = OwnerPid(kBTDownload);
  const CString saveas = Utf8ToGBK(home.Path()) + "movies/three";
  ASSERT_EQ(bt->StartBT(Args(TorrentFile(3), saveas)), TRUE);

  // The status machine ends the download the moment it reads 100.
  ASSERT_EQ(PollTightly(60000), 100.0) << bt->GetLastError();
  bt->Exit();
  const std::string saved = home.Path() + "movies/three/" + seed->FileName();
  EXPECT_EQ(OpenHandles(pid, saved), 0);
  EXPECT_TRUE(ReadBytes(saved) == seed->Content());
}

TEST_F(BTComponentTest, APieceSentWrongIsFetchedAgainAndAWebSeedThatKeepsLyingEndsWithAnError) {
  // Pieces that come whole and in order are checked on their way in.
  const auto seed = MakeSeed(4, 8 * kMiB);
  seed->Corrupt(3 * kMiB + 12345, 2);
  bt->CreateInstance();
  const CString saveas = Utf8ToGBK(home.Path()) + "movies/four";
  ASSERT_EQ(bt->StartBT(Args(TorrentFile(4), saveas)), TRUE);
  ASSERT_EQ(PollTightly(60000), 100.0) << bt->GetLastError();
  bt->Exit();
  EXPECT_TRUE(ReadBytes(home.Path() + "movies/four/" + seed->FileName()) == seed->Content());
  EXPECT_GT(seed->Served(), 8 * kMiB);

  const auto liar = MakeSeed(5, 8 * kMiB);
  liar->Corrupt(5 * kMiB, INT_MAX);
  ASSERT_EQ(bt->StartBT(Args(TorrentFile(5), saveas + "/liar")), TRUE);
  EXPECT_LT(PollTightly(60000), 0);
  EXPECT_TRUE(Contains(bt->GetLastError(), "损坏的数据")) << GBKToUtf8(bt->GetLastError());
  bt->Exit();
}

TEST_F(BTComponentTest, ARestartFetchesOnlyWhatIsMissingAndTrustsOnlyAnUnchangedResumeFile) {
  constexpr std::int64_t kSize = 16 * kMiB;
  // good: ended cleanly; corrupt: the resume file damaged; changed: a byte of
  // the movie altered after the end.
  int id = 3;
  for (const std::string mode : {"good", "corrupt", "changed"}) {
    SCOPED_TRACE(mode);
    ++id;
    const auto seed = MakeSeed(id, kSize);
    const CString saveas = Utf8ToGBK(home.Path()) + "movies/" + mode;
    const std::string saved = home.Path() + "movies/" + mode + "/" + seed->FileName();
    seed->HoldAfter(kSize / 2);
    bt->CreateInstance();
    ASSERT_EQ(bt->StartBT(Args(TorrentFile(id), saveas)), TRUE);
    ASSERT_TRUE(WaitUntil([&] { return bt->GetPercent() >= 45; }, 30000))
        << bt->GetPercent() << " " << bt->GetLastError();
    // The component ends with its client, half done.
    EndClient();
    const std::string resume =
        home.Path() + "data/" + std::to_string(id) + "/" + std::to_string(id) + ".resume";
    ASSERT_TRUE(std::filesystem::exists(resume));
    if (mode == "corrupt") {
      std::fstream(resume, std::ios::in | std::ios::out | std::ios::binary).seekp(60) << "zz";
    } else if (mode == "changed") {
      std::fstream(saved, std::ios::in | std::ios::out | std::ios::binary).seekp(1000) << "x";
    }

    NewClient();
    bt->CreateInstance();
    const std::int64_t before = seed->Served();
    seed->Release();
    ASSERT_EQ(bt->StartBT(Args(TorrentFile(id), saveas)), TRUE);
    bool sawChecking = false;
    double percent = 0;
    QElapsedTimer clock;
    clock.start();
    while (percent < 100 && percent >= 0 && clock.elapsed() < 60000) {
      percent = bt->GetPercent();
      if (Contains(bt->GetOtherRunInfo(1), "checking")) sawChecking = true;
    }
    ASSERT_EQ(percent, 100.0) << bt->GetLastError();
    const CString start = bt->GetOtherRunInfo(2);
    bt->Exit();
    EXPECT_TRUE(ReadBytes(saved) == seed->Content());
    // Never a fresh download over what is on disk.
    const std::int64_t fetched = seed->Served() - before;
    EXPECT_GT(fetched, kSize * 4 / 10);
    EXPECT_LT(fetched, kSize * 6 / 10);
    if (mode == "good") {
      EXPECT_EQ(start, "resumed");
      EXPECT_FALSE(sawChecking);
    } else {
      EXPECT_EQ(start.rfind("checked: ", 0), 0u) << start;
      EXPECT_EQ(Contains(start, "changed"), mode == "changed") << start;
    }
    EndClient();
    NewClient();
  }
}

TEST_F(BTComponentTest, AFullDiskPausesTheDownloadAndAStartWithRoomGoesOn) {
  constexpr std::int64_t kSize = 8 * kMiB;
  const auto seed = MakeSeed(9, kSize);
  const std::string disk = home.Path() + "small";
  CSmallDisk small(disk, 24 * kMiB);
  const CString saveas = Utf8ToGBK(disk) + "/电影";
  const std::string saved = disk + "/" + GBKToUtf8("电影") + "/" + seed->FileName();
  bt->CreateInstance();

  // Too little room from the start: nothing is fetched.
  small.LeaveFree(6 * kMiB);
  ASSERT_EQ(bt->StartBT(Args(TorrentFile(9), saveas)), TRUE);
  EXPECT_LT(bt->GetPercent(), 0);
  CString error = bt->GetLastError();
  EXPECT_TRUE(Contains(error, "磁盘空间不足") && Contains(error, saveas)) << GBKToUtf8(error);
  EXPECT_EQ(seed->Served(), 0);
  bt->Exit();

  // Room for it, until the disk fills halfway through.
  small.LeaveFree(24 * kMiB);
  seed->HoldAfter(kSize / 2);
  ASSERT_EQ(bt->StartBT(Args(TorrentFile(9), saveas)), TRUE);
  ASSERT_TRUE(WaitUntil([&] { return bt->GetPercent() >= 45; }, 30000)) << bt->GetPercent();
  small.LeaveFree(2 * kMiB);
  ASSERT_TRUE(WaitUntil([&] { return bt->GetPercent() < 0; }, 15000));
  error = bt->GetLastError();
  EXPECT_TRUE(Contains(error, "磁盘空间不足") && Contains(error, saveas)) << GBKToUtf8(error);
  EXPECT_TRUE(Contains(error, " MB")) << GBKToUtf8(error);  // the room needed
  bt->Exit();
  EXPECT_EQ(std::filesystem::file_size(saved), static_cast<std::uintmax_t>(kSize));  // kept

  // Room made: a start goes on from what is on disk.
  small.LeaveFree(24 * kMiB);
  seed->Release();
  ASSERT_EQ(bt->StartBT(Args(TorrentFile(9), saveas)), TRUE);
  ASSERT_EQ(PollTightly(60000), 100.0) << bt->GetLastError();
  EXPECT_EQ(bt->GetOtherRunInfo(2), "resumed");
  bt->Exit();
  EXPECT_TRUE(ReadBytes(saved) == seed->Content());
  EXPECT_LT(seed->Served(), kSize * 12 / 10);
}

TEST_F(BTComponentTest, TheUsersRateLimitHoldsTheDownloadNearIt) {
  constexpr std::int64_t kSize = 8 * kMiB;
  constexpr int kLimitKB = 2048;
  const auto seed = MakeSeed(10, kSize);
  SetRateLimit(kLimitKB);
  bt->CreateInstance();
  QElapsedTimer clock;
  clock.start();
  ASSERT_EQ(bt->StartBT(Args(TorrentFile(10), Utf8ToGBK(home.Path()) + "limited")), TRUE);
  ASSERT_TRUE(WaitUntil([&] { return bt->GetPercent() >= 100; }, 60000)) << bt->GetLastError();
  const double seconds = clock.elapsed() / 1000.0;
  bt->Exit();
  // 4 seconds at the limit: hardly faster (libtorrent allows a first burst),
  // and not far slower either, however busy the machine.
  const double atLimit = static_cast<double>(kSize) / (kLimitKB * 1024);
  EXPECT_GT(seconds, atLimit * 0.7);
  EXPECT_LT(seconds, atLimit * 4);
}

TEST_F(BTComponentTest, APlantedLinkForTheTargetOrItsMovieIsRefusedAndNothingIsWrittenThrough) {
  const auto seed = MakeSeed(11, 2 * kMiB);
  // Stands for the user's home, with a file the movie's name would overwrite.
  const std::string victim = home.Path() + "victim";
  const std::string kept = victim + "/" + seed->FileName();
  std::filesystem::create_directories(victim);
  std::ofstream(kept) << "precious";
  const std::string movies = home.Path() + "movies/";
  std::filesystem::create_directories(movies + "own");
  ASSERT_EQ(::symlink(victim.c_str(), (movies + "linked").c_str()), 0);
  ASSERT_EQ(::symlink(kept.c_str(), (movies + "own/" + seed->FileName()).c_str()), 0);
  bt->CreateInstance();
  for (const std::string target : {"linked", "own"}) {
    SCOPED_TRACE(target);
    ASSERT_EQ(bt->StartBT(Args(TorrentFile(11), Utf8ToGBK(movies + target))), TRUE);
    EXPECT_LT(bt->GetPercent(), 0);
    EXPECT_TRUE(Contains(bt->GetLastError(), "链接")) << GBKToUtf8(bt->GetLastError());
    bt->Exit();
  }
  EXPECT_TRUE(ReadBytes(kept) == "precious");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(victim),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_EQ(seed->Served(), 0);
}

TEST_F(BTComponentTest, ResumeDataClaimingPiecesOverZerosIsCaughtAndTheMovieFetchedAgain) {
  constexpr std::int64_t kSize = 4 * kMiB;
  const auto seed = MakeSeed(12, kSize);
  const CString saveas = Utf8ToGBK(home.Path()) + "movies/forged";
  const std::string saved = home.Path() + "movies/forged/" + seed->FileName();
  // A link planted where the resume data is written first is not written through.
  const std::string kept = home.Path() + "kept";
  std::ofstream(kept) << "precious";
  ASSERT_EQ(::symlink(kept.c_str(), (home.Path() + "data/12/12.resume.tmp").c_str()), 0);
  bt->CreateInstance();
  ASSERT_EQ(bt->StartBT(Args(TorrentFile(12), saveas)), TRUE);
  ASSERT_EQ(PollTightly(60000), 100.0) << GBKToUtf8(bt->GetLastError());
  bt->Exit();
  EXPECT_EQ(ReadBytes(kept), "precious");
  EXPECT_TRUE(std::filesystem::exists(home.Path() + "data/12/12.resume"));

  // Zeros over the movie, its size and times kept: the resume data still
  // claims every piece, and its stamps still match.
  struct stat st {};
  ASSERT_EQ(::stat(saved.c_str(), &st), 0);
  std::fstream(saved, std::ios::in | std::ios::out | std::ios::binary)
      << std::string(static_cast<size_t>(kSize), '\0');
  const timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, saved.c_str(), times, 0), 0);

  const std::int64_t before = seed->Served();
  ASSERT_EQ(bt->StartBT(Args(TorrentFile(12), saveas)), TRUE);
  ASSERT_EQ(PollTightly(60000), 100.0) << GBKToUtf8(bt->GetLastError());
  EXPECT_EQ(bt->GetOtherRunInfo(2).rfind("checked: ", 0), 0u) << bt->GetOtherRunInfo(2);
  bt->Exit();
  EXPECT_TRUE(ReadBytes(saved) == seed->Content());
  EXPECT_GE(seed->Served() - before, kSize);
}

TEST_F(BTComponentTest, WebSeedsTrackersAndRedirectsAimedAtOtherLocalProgramsAreNeverAsked) {
  // Another program of the machine, on a loopback port of its own.
  CLoopbackHttpServer other;
  std::atomic<int> asked{0};
  other.Server().Get(R"(/.*)", [&](const httplib::Request&, httplib::Response& res) {
    ++asked;
    res.set_content("x", "text/plain");
  });
  ASSERT_TRUE(other.Start());
  // The torrent names it as a web seed and a tracker, and the service's own
  // web seed sends every request there.
  const auto seed = MakeSeed(13, 2 * kMiB,
                             {other.Url("/movie.mkv"), other.Url("/announce"), "file:///etc/passwd",
                              "http://localhost:" + std::to_string(other.Port()) + "/m"});
  seed->RedirectTo(other.Url("/" + seed->FileName()));
  bt->CreateInstance();
  ASSERT_EQ(bt->StartBT(Args(TorrentFile(13), Utf8ToGBK(home.Path()) + "movies/ssrf")), TRUE);
  EXPECT_TRUE(WaitUntil([&] { return bt->GetPercent() < 0; }, 15000));
  EXPECT_TRUE(Contains(bt->GetLastError(), "本机的其他程序")) << GBKToUtf8(bt->GetLastError());
  bt->Exit();
  EXPECT_EQ(asked.load(), 0);
}
