#include "TorrentMaker.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <libtorrent/hasher.hpp>
#include <libtorrent/torrent_info.hpp>
#include <sstream>
#include <thread>

#include "CatalogueGenerator.h"
#include "ServiceConfig.h"
#include "ServiceFixture.h"
#include "ServiceUrls.h"

namespace zenu::test {
namespace {

class TorrentTest : public ServiceFixture {
 protected:
  const Movie* FirstBitTorrentMovie() {
    for (const Movie& m : Movies().All()) {
      if (m.fetchMethod == FetchMethod::kBitTorrent) return &m;
    }
    return nullptr;
  }
  std::string Path(const std::string& url) {
    std::string prefix = "http://127.0.0.1:" + std::to_string(port_);
    EXPECT_EQ(url.rfind(prefix, 0), 0u) << url;
    return url.substr(prefix.size());
  }
};

TEST_F(TorrentTest, ServedTorrentParsesAndItsWebSeedServesTheContent) {
  const Movie* movie = FirstBitTorrentMovie();
  ASSERT_NE(movie, nullptr);
  std::string data = Body("/torrent/" + std::to_string(movie->id) + ".torrent");
  lt::error_code ec;
  lt::torrent_info info(lt::span<char const>(data.data(), static_cast<long>(data.size())), ec,
                        lt::from_span);
  ASSERT_FALSE(ec) << ec.message();
  std::ostringstream hash;
  hash << info.info_hashes().v1;
  EXPECT_EQ(hash.str(), movie->infoHash);
  EXPECT_EQ(info.num_files(), 1);
  EXPECT_EQ(info.total_size(), static_cast<int64_t>(movie->sizeBytes));
  EXPECT_EQ(info.name(), movie->fileName);
  ASSERT_EQ(info.web_seeds().size(), 1u);
  const std::string seed = info.web_seeds()[0].url;
  EXPECT_EQ(seed, "http://127.0.0.1:" + std::to_string(port_) + "/content/" +
                      std::to_string(movie->id) + "/" + movie->fileName);

  // Each piece fetched by range, as a web seed client does, matches the piece hash.
  for (lt::piece_index_t piece : info.piece_range()) {
    int64_t begin = static_cast<int64_t>(static_cast<int>(piece)) * info.piece_length();
    int64_t end = begin + info.piece_size(piece) - 1;
    httplib::Headers headers = {httplib::make_range_header({{begin, end}})};
    auto res = client_->Get(Path(seed).c_str(), headers);
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 206);
    ASSERT_EQ(res->body.size(), static_cast<size_t>(info.piece_size(piece)));
    EXPECT_EQ(res->get_header_value("Content-Range"), "bytes " + std::to_string(begin) + "-" +
                                                          std::to_string(end) + "/" +
                                                          std::to_string(movie->sizeBytes));
    EXPECT_EQ(lt::hasher(res->body.data(), static_cast<int>(res->body.size())).final(),
              info.hash_for_piece(piece))
        << "piece " << static_cast<int>(piece);
  }
}

TEST_F(TorrentTest, ContentBytesAreTheDeterministicOnes) {
  const Movie& movie = Movies().All()[1];
  const std::string path = "/content/" + std::to_string(movie.id) + "/" + movie.fileName;
  auto res = client_->Get(path.c_str(), {httplib::make_range_header({{1001, 1100}})});
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 206);
  ASSERT_EQ(res->body.size(), 100u);
  for (size_t i = 0; i < 100; ++i) {
    ASSERT_EQ(static_cast<uint8_t>(res->body[i]),
              CatalogueGenerator::ContentByte(movie.id, 1001 + i));
  }
  std::string whole = Body(path);
  EXPECT_EQ(whole.size(), movie.sizeBytes);
  EXPECT_EQ(static_cast<uint8_t>(whole.back()),
            CatalogueGenerator::ContentByte(movie.id, movie.sizeBytes - 1));
}

TEST_F(TorrentTest, UnknownOrDownloadManagerOnlyMoviesHaveNoTorrent) {
  for (const Movie& m : Movies().All()) {
    if (m.fetchMethod != FetchMethod::kDownloadManagerOnly) continue;
    auto res = Get("/torrent/" + std::to_string(m.id) + ".torrent");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
  }
  auto res = Get("/torrent/9999.torrent");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
  res = Get("/content/1/other_name.rmvb");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
}

TEST(TorrentMakerTest, WebSeedIsAddedWithoutTouchingTheInfoDictionary) {
  std::string torrent =
      "d4:infod6:lengthi3e4:name1:a12:piece lengthi16384e6:pieces20:"
      "aaaaaaaaaaaaaaaaaaaaee";
  std::string seeded = TorrentMaker::WithWebSeed(torrent, "http://h:1/c/1/a");
  EXPECT_EQ(seeded, torrent.substr(0, torrent.size() - 1) + "8:url-list16:http://h:1/c/1/ae");
  EXPECT_THROW(TorrentMaker::WithWebSeed("garbage", "http://x"), std::runtime_error);
  EXPECT_THROW(TorrentMaker::WithWebSeed(seeded, "http://x"), std::runtime_error);
}

TEST(TorrentMakerTest, TrackersGoFirstWithoutTouchingTheInfoDictionary) {
  const std::string torrent = "d4:infod6:lengthi3e4:name1:aee";
  EXPECT_EQ(TorrentMaker::WithTrackers(torrent, {}), torrent);
  const std::string announced = TorrentMaker::WithTrackers(torrent, {"http://t:1/a", "udp://u:2"});
  EXPECT_EQ(announced,
            "d8:announce12:http://t:1/a13:announce-listll12:http://t:1/ael9:udp://u:2ee"
            "4:infod6:lengthi3e4:name1:aee");
  // Announcing twice would leave duplicate keys, which libtorrent refuses.
  EXPECT_THROW(TorrentMaker::WithTrackers(announced, {"http://x/a"}), std::runtime_error);
  EXPECT_THROW(TorrentMaker::WithTrackers("garbage", {"http://x/a"}), std::runtime_error);
}

TEST(ServiceConfigTest, TrackerUrlsAreCheckedAndRepeat) {
  ServiceConfig config =
      ServiceConfig::FromArguments({"--tracker", "http://a:6969/announce", "--tracker=udp://b:6969",
                                    "--tracker-whitelist", "/w.txt"});
  EXPECT_EQ(config.trackers, (std::vector<std::string>{"http://a:6969/announce", "udp://b:6969"}));
  EXPECT_EQ(config.trackerWhitelist, "/w.txt");
  for (const char* bad :
       {"", "a:6969", "ftp://a/", "http://", "http:///x", "http://a b/", "http://a/\n"}) {
    EXPECT_THROW(ServiceConfig::FromArguments({"--tracker", bad}), std::invalid_argument) << bad;
  }
}

class TrackerTest : public TorrentTest {
 protected:
  void Configure(ServiceConfig& config) override {
    config.Set("tracker", "http://127.0.0.1:6969/announce");
    config.Set("tracker", "udp://127.0.0.1:6969");
    config.Set("tracker-whitelist", dir_ + "/whitelist.txt");
  }
  std::string Whitelist() {
    std::ifstream in(dir_ + "/whitelist.txt");
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  std::string Expected() {
    std::vector<std::string> hashes;
    for (const Movie& m : Movies().All()) {
      if (m.fetchMethod == FetchMethod::kBitTorrent && m.Available()) hashes.push_back(m.infoHash);
    }
    std::sort(hashes.begin(), hashes.end());
    std::string text;
    for (const std::string& h : hashes) text += h + "\n";
    return text;
  }
};

TEST_F(TrackerTest, ServedTorrentsAnnounceAndTheWhitelistFollowsTheCatalogue) {
  const Movie* movie = FirstBitTorrentMovie();
  ASSERT_NE(movie, nullptr);
  const uint32_t id = movie->id;
  const std::string hash = movie->infoHash;
  std::string data = Body("/torrent/" + std::to_string(id) + ".torrent");
  lt::error_code ec;
  lt::torrent_info info(lt::span<char const>(data.data(), static_cast<long>(data.size())), ec,
                        lt::from_span);
  ASSERT_FALSE(ec) << ec.message();
  std::ostringstream served;
  served << info.info_hashes().v1;
  EXPECT_EQ(served.str(), hash);
  ASSERT_EQ(info.trackers().size(), 2u);
  EXPECT_EQ(info.trackers()[0].url, "http://127.0.0.1:6969/announce");
  EXPECT_LT(info.trackers()[0].tier, info.trackers()[1].tier);
  EXPECT_EQ(info.web_seeds().size(), 1u);

  std::string list = Whitelist();
  EXPECT_EQ(list, Expected());
  EXPECT_NE(list.find(hash + "\n"), std::string::npos);

  // A retired movie leaves the list once the catalogue is published again.
  ASSERT_TRUE(GetStore().SetWithdrawal(id, Withdrawal::kRetired));
  const int before = service_->Context().scanState().completed;
  service_->Context().requestScan();
  for (int i = 0; i < 1000 && service_->Context().scanState().completed == before; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  list = Whitelist();
  EXPECT_EQ(list.find(hash), std::string::npos);
  EXPECT_EQ(list, Expected());
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/whitelist.txt.new." + std::to_string(getpid())));
}

TEST(ServiceUrlsTest, ThunderLinkWrapsTheUrl) {
  // "AAhttp://a/bZZ" in base64.
  EXPECT_EQ(ServiceUrls::ThunderLink("http://a/b"), "thunder://QUFodHRwOi8vYS9iWlo=");
  ServiceUrls urls("svc.example", 8088);
  EXPECT_EQ(urls.Bulletin(7), "http://svc.example/bulletin/7.html");
  EXPECT_EQ(urls.Torrent(7), "http://svc.example/torrent/7.torrent");
  EXPECT_EQ(urls.Update(), "http://svc.example:8088/download/");
  ServiceUrls proxied("svc.example", 0, "https");
  EXPECT_EQ(proxied.Bulletin(7), "https://svc.example/bulletin/7.html");
  EXPECT_EQ(proxied.Update(), "https://svc.example/download/");
  EXPECT_EQ(ServiceUrls("svc.example", 8443, "https").Update(),
            "https://svc.example:8443/download/");
}

}  // namespace
}  // namespace zenu::test
