#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "settings/ConfigDoc.h"
#include "tests/btdownload/ComponentFixture.h"
#include "tests/support/RaisedText.h"
#include "zenuModule/src/ProgramException.h"
#include "zenuModule/src/TextCodec.h"

namespace {
// Whether a TCP port on all interfaces can be bound right now.
bool CanBindTcp(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}
}  // namespace

TEST_F(BTComponentTest, DownloadsTheMovieFromItsWebSeedToTheFull) {
  FetchMovie();
  bt->CreateInstance();
  ASSERT_EQ(bt->GetState(), 1);
  ASSERT_TRUE(NameOwned(kBTDownload));

  // A save folder of GBK text, as the record's target path is, with a quote, a
  // backslash and a character whose GBK form ends in a backslash byte.
  const CString saveas = Utf8ToGBK(home.Path()) + "电影/测试\"片\\淺";
  ASSERT_EQ(bt->StartBT(Args(torrentFile, saveas)), TRUE);
  const int port = CConfigDoc::GetInstance()->GetPort();
  ASSERT_GT(port, 0);
  // The component listens on the first port of the range it was given.
  EXPECT_TRUE(WaitUntil([&] { return !CanBindTcp(port); }, 5000)) << port;

  double percent = 0;
  bool sawFigures = false;
  ASSERT_TRUE(WaitUntil(
      [&] {
        percent = bt->GetPercent();
        EXPECT_GE(percent, 0) << bt->GetLastError();
        const int left = bt->GetLeftTime();
        EXPECT_GE(left, -1);
        EXPECT_GE(bt->GetPeerConnNum(), 0);
        EXPECT_GE(bt->GetDownloadRate(), 0);
        if (!bt->GetOtherRunInfo(1).empty()) sawFigures = true;
        return percent >= 100 || percent < 0;
      },
      30000))
      << "stuck at " << percent << "%: " << bt->GetOtherRunInfo(1);
  EXPECT_DOUBLE_EQ(percent, 100.0);
  EXPECT_TRUE(sawFigures);
  EXPECT_EQ(bt->GetLeftTime(), 0);
  EXPECT_EQ(bt->GetLastError(), "");

  const std::string saved = GBKToUtf8(saveas) + "/" + fileName;
  EXPECT_EQ(ReadBytes(saved), contentBytes) << saved;
  // Exactly that folder, nothing beside it.
  std::vector<std::string> made;
  for (const auto& entry : std::filesystem::directory_iterator(home.Path() + GBKToUtf8("电影")))
    made.push_back(entry.path().filename().string());
  EXPECT_EQ(made, std::vector<std::string>{GBKToUtf8("测试\"片\\淺")});

  // Exit ends the download: nothing runs, and the poll that goes on reads no error.
  const QDBusMessage before = CallComponent(QStringLiteral("IsRunning"));
  ASSERT_EQ(before.type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(before.arguments().value(0).toInt(), 1);
  bt->Exit();
  EXPECT_EQ(CallComponent(QStringLiteral("IsRunning")).arguments().value(0).toInt(), 0);
  EXPECT_EQ(bt->GetPercent(), 0);
  EXPECT_EQ(bt->GetState(), 1);
  EXPECT_EQ(ReadBytes(saved), contentBytes);  // what was fetched stays
  EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(BTComponentTest, AnUnreadableTorrentIsANegativePercentWithItsReason) {
  bt->CreateInstance();
  const std::string missing = home.Path() + "data/9/9.torrent";
  EXPECT_EQ(bt->StartBT(Args(missing, Utf8ToGBK(home.Path()) + "out")), TRUE);
  EXPECT_LT(bt->GetPercent(), 0);
  const CString error = bt->GetLastError();
  EXPECT_NE(error.find("无法读取种子文件"), CString::npos) << error;
  EXPECT_NE(error.find(Utf8ToGBK(missing)), CString::npos) << error;
  // The status machine stops the record with Exit; the poll then reads 0 again.
  bt->Exit();
  EXPECT_EQ(bt->GetPercent(), 0);
  EXPECT_EQ(bt->GetState(), 1);

  // Not a torrent at all.
  const std::string junk = home.Path() + "junk.torrent";
  std::ofstream(junk) << "not bencoded";
  EXPECT_EQ(bt->StartBT(Args(junk, Utf8ToGBK(home.Path()) + "out")), TRUE);
  EXPECT_LT(bt->GetPercent(), 0);
  EXPECT_NE(bt->GetLastError().find(Utf8ToGBK(junk)), CString::npos);

  // A pipe named as the torrent is refused at once rather than waited on.
  const std::string pipe = home.Path() + "pipe.torrent";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(bt->StartBT(Args(pipe, Utf8ToGBK(home.Path()) + "out")), TRUE);
  EXPECT_LT(bt->GetPercent(), 0);
  EXPECT_NE(bt->GetLastError().find(Utf8ToGBK(pipe)), CString::npos);
}

TEST_F(BTComponentTest, TheComponentLeavesWithItsClient) {
  bt->CreateInstance();
  const uint pid = OwnerPid(kBTDownload);
  ASSERT_GT(pid, 0u);
  // A second driver of the same client reaches the running component.
  CBTDownload second;
  second.CreateInstance();
  EXPECT_EQ(OwnerPid(kBTDownload), pid);
  second.DestroyInstance();
  bt->DestroyInstance();
  EXPECT_TRUE(NameOwned(kBTDownload));  // a release does not end it

  EndClient();
  EXPECT_TRUE(WaitUntil([&] { return ProcessGone(pid); }, 10000));
}

TEST_F(BTComponentTest, AComponentGoneMidwayMakesTheDriverUnusable) {
  bt->CreateInstance();
  const uint pid = OwnerPid(kBTDownload);
  ASSERT_GT(pid, 0u);
  ::kill(static_cast<pid_t>(pid), SIGKILL);
  ASSERT_TRUE(WaitUntil([&] { return !NameOwned(kBTDownload); }, 10000));
  const CString raised = RaisedText([&] { bt->GetPercent(); });
  EXPECT_EQ(raised.rfind("Invoke GetPercent() failure.hr:-", 0), 0u) << raised;
  EXPECT_EQ(bt->GetState(), 0);
  EXPECT_EQ(bt->StartBT("x"), FALSE);
}

TEST_F(BTComponentTest, ASaveFolderThatCannotBeMadeIsANegativePercent) {
  FetchMovie();
  bt->CreateInstance();
  // A plain file stands where the save folder's parent should be.
  std::ofstream(home.Path() + "blocker") << "x";
  const CString saveas = Utf8ToGBK(home.Path()) + "blocker/movie";
  ASSERT_EQ(bt->StartBT(Args(torrentFile, saveas)), TRUE);
  double percent = 0;
  EXPECT_TRUE(WaitUntil(
      [&] {
        percent = bt->GetPercent();
        return percent < 0 || percent >= 100;
      },
      20000));
  EXPECT_LT(percent, 0);
  EXPECT_FALSE(bt->GetLastError().empty());
  bt->Exit();
  EXPECT_EQ(bt->GetPercent(), 0);
}

TEST_F(BTComponentTest, ANameHeldByAStrangerIsRefusedNamingItAndTakenOnceFree) {
  const QString squatter = QStringLiteral("squatter");
  QDBusConnection held = QDBusConnection::connectToBus(QDBusConnection::SessionBus, squatter);
  ASSERT_TRUE(held.registerService(kBTDownload));
  const CString text = RaisedText([&] { bt->CreateInstance(); });
  // The bus daemon's word on who it is, and its program.
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  EXPECT_NE(text.find("进程 " + std::to_string(::getpid()) + " (" + self + ")"), CString::npos)
      << GBKToUtf8(text);
  EXPECT_TRUE(bt->NameHeldByOther());
  EXPECT_NE(bt->GetState(), 1);

  held.unregisterService(kBTDownload);
  QDBusConnection::disconnectFromBus(squatter);
  bt->CreateInstance();
  EXPECT_EQ(bt->GetState(), 1);
  EXPECT_FALSE(bt->NameHeldByOther());
}
