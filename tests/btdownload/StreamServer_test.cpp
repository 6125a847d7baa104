#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <future>
#include <string>

#include "tests/btdownload/ComponentFixture.h"
#include "zenuModule/src/TextCodec.h"

namespace {
constexpr std::int64_t kMiB = 1 << 20;

struct SAnswer {
  int status = 0;
  std::string head;
  std::string body;
  bool complete = false;  // the whole Content-Length arrived
};

// One request on its own connection, as players send them; ms bounds it all.
SAnswer Fetch(const std::string& url, const std::string& method, const std::string& range,
              int ms = 60000) {
  SAnswer answer;
  const std::string prefix = "http://127.0.0.1:";
  if (url.compare(0, prefix.size(), prefix) != 0) return answer;
  const size_t slash = url.find('/', prefix.size());
  const int port = std::stoi(url.substr(prefix.size(), slash - prefix.size()));
  const std::string path = url.substr(slash);
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return answer;
  }
  std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  if (!range.empty()) request += "Range: bytes=" + range + "\r\n";
  request += "\r\n";
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string all;
  QElapsedTimer clock;
  clock.start();
  char buffer[65536];
  while (clock.elapsed() < ms) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 200) <= 0) continue;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    all.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  const size_t end = all.find("\r\n\r\n");
  if (end == std::string::npos || all.size() < 12) return answer;
  answer.status = std::stoi(all.substr(9, 3));
  answer.head = all.substr(0, end);
  answer.body = all.substr(end + 4);
  const std::string key = "Content-Length: ";
  const size_t at = answer.head.find(key);
  if (at != std::string::npos)
    answer.complete = method == "HEAD" || std::stoll(answer.head.substr(at + key.size())) ==
                                              static_cast<long long>(answer.body.size());
  return answer;
}

std::string WithToken(const std::string& url, const std::string& token) {
  const size_t start = url.find('/', std::string("http://").size()) + 1;
  const size_t end = url.find('/', start);
  return url.substr(0, start) + token + url.substr(end);
}
}  // namespace

TEST_F(BTComponentTest, TheMovieStreamsFromItsLoopbackAddressWhileItDownloads) {
  constexpr std::int64_t kSize = 8 * kMiB;
  const auto seed = MakeSeed(20, kSize);
  // Two seconds at the web seed's rate: the reads below happen
  // mid-download.
  seed->LimitRate(4 * kMiB);
  bt->CreateInstance();
  ASSERT_EQ(bt->StartBT(Args(TorrentFile(20), Utf8ToGBK(home.Path()) + "streamed")), TRUE);

  std::string url;
  ASSERT_TRUE(WaitUntil([&] { return !(url = bt->GetOtherRunInfo(3)).empty(); }, 20000))
      << bt->GetLastError();
  const double percentAtUrl = bt->GetPercent();
  EXPECT_LT(percentAtUrl, 100);
  EXPECT_EQ(url.compare(0, 17, "http://127.0.0.1:"), 0) << url;
  EXPECT_NE(url.find("/movie.mkv"), std::string::npos) << url;

  const std::string& content = seed->Content();
  const SAnswer start = Fetch(url, "GET", "0-65535");
  EXPECT_EQ(start.status, 206);
  EXPECT_NE(start.head.find("Content-Range: bytes 0-65535/" + std::to_string(kSize)),
            std::string::npos)
      << start.head;
  EXPECT_TRUE(start.complete && start.body == content.substr(0, 65536));

  // The last bytes, where players look for an index, then a seek to the middle.
  const SAnswer end = Fetch(url, "GET", "-100000");
  EXPECT_EQ(end.status, 206);
  EXPECT_TRUE(end.complete && end.body == content.substr(kSize - 100000));
  const SAnswer middle = Fetch(
      url, "GET", std::to_string(kSize / 2 + 777) + "-" + std::to_string(kSize / 2 + 777 + kMiB));
  EXPECT_EQ(middle.status, 206);
  EXPECT_TRUE(middle.complete && middle.body == content.substr(kSize / 2 + 777, kMiB + 1));
  EXPECT_LT(bt->GetPercent(), 100) << "the reads were meant to happen mid-download";

  // The whole file, read on as it arrives.
  const SAnswer whole = Fetch(url, "GET", "");
  EXPECT_EQ(whole.status, 200);
  EXPECT_TRUE(whole.complete && whole.body == content) << whole.body.size();

  const SAnswer head = Fetch(url, "HEAD", "");
  EXPECT_EQ(head.status, 200);
  EXPECT_NE(head.head.find("Content-Length: " + std::to_string(kSize)), std::string::npos);
  EXPECT_EQ(Fetch(url, "GET", std::to_string(kSize) + "-").status, 416);

  // Only the address's token opens it.
  EXPECT_EQ(Fetch(WithToken(url, std::string(32, '0')), "GET", "0-9").status, 404);
  EXPECT_EQ(Fetch(WithToken(url, ""), "GET", "0-9").status, 404);
  bt->Exit();
  EXPECT_EQ(bt->GetOtherRunInfo(3), "");
}

TEST_F(BTComponentTest, AStopEndsAReadThatWaitsForMissingBytesAtOnce) {
  constexpr std::int64_t kSize = 16 * kMiB;
  const auto seed = MakeSeed(21, kSize);
  seed->LimitRate(2 * kMiB);
  bt->CreateInstance();
  ASSERT_EQ(bt->StartBT(Args(TorrentFile(21), Utf8ToGBK(home.Path()) + "stopped")), TRUE);
  std::string url;
  ASSERT_TRUE(WaitUntil([&] { return !(url = bt->GetOtherRunInfo(3)).empty(); }, 20000));
  // The start of the file is here, and nothing more will come.
  seed->HoldAfter(seed->Served());

  // Waits for bytes that will not come before the stop.
  auto blocked = std::async(std::launch::async, [url] {
    return Fetch(url, "GET", std::to_string(kSize / 2) + "-", 60000);
  });
  // One answer whose bytes are sent in part, then missing.
  auto cut = std::async(std::launch::async, [url] { return Fetch(url, "GET", "0-", 60000); });
  ASSERT_EQ(blocked.wait_for(std::chrono::seconds(2)), std::future_status::timeout);

  QElapsedTimer clock;
  clock.start();
  bt->Exit();
  ASSERT_EQ(blocked.wait_for(std::chrono::seconds(15)), std::future_status::ready);
  ASSERT_EQ(cut.wait_for(std::chrono::seconds(15)), std::future_status::ready);
  EXPECT_LT(clock.elapsed(), 15000);
  // Told before its first byte, or cut short of its length after some.
  const SAnswer stopped = blocked.get();
  if (stopped.status == 503) {
    EXPECT_NE(stopped.body.find("stopped"), std::string::npos);
  } else {
    EXPECT_EQ(stopped.status, 206);
    EXPECT_FALSE(stopped.complete);
    EXPECT_EQ(stopped.body, seed->Content().substr(kSize / 2, stopped.body.size()));
  }
  const SAnswer partial = cut.get();
  EXPECT_EQ(partial.status, 206);
  EXPECT_FALSE(partial.complete);
  EXPECT_EQ(partial.body, seed->Content().substr(0, partial.body.size()));
  seed->Release();
}
