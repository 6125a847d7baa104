#include <filesystem>
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
