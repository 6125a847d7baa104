#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <json/reader.h>
#include <json/value.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/hasher.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "GbkText.h"
#include "ServiceProcess.h"
#include "ZenuService.h"

namespace zenu::test {
namespace {

namespace fs = std::filesystem;

std::string RandomBytes(uint64_t seed, size_t size) {
  std::string out(size, '\0');
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    out[i] = static_cast<char>(x >> 24);
  }
  return out;
}

void Write(const fs::path& path, const std::string& data) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Films start at 2 MiB; smaller files are skipped.
constexpr size_t kFilm = 2u << 20;

Json::Value ParseJson(const std::string& text) {
  Json::Value v;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  reader->parse(text.data(), text.data() + text.size(), &v, &errors);
  return v;
}

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zenu-library-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    lib_ = dir_ / "films";
    data_ = dir_ / "data";
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(lib_ / "Locked.Movie.2002.mkv", fs::perms::owner_all, ec);
    fs::permissions(lib_ / "Locked", fs::perms::owner_all, ec);
    fs::remove_all(dir_, ec);
  }

  Json::Value Get(const std::string& path, int status = 200) {
    auto res = client_->Get(path.c_str());
    EXPECT_TRUE(res) << path;
    if (!res) return {};
    EXPECT_EQ(res->status, status) << path << ": " << res->body;
    return ParseJson(res->body);
  }
  // Waits until `scans` scans have ended.
  Json::Value WaitForScans(int scans) {
    Json::Value status;
    for (int i = 0; i < 1500; ++i) {
      status = Get("/api/v1/status");
      if (status["library"]["scans"].asInt() >= scans && !status["library"]["scanning"].asBool()) {
        return status;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "no scan ended: " << status.toStyledString();
    return status;
  }
  // The one movie found by its title.
  Json::Value Find(const std::string& utf8Title) {
    Json::Value found = Get("/api/v1/search?q=" + GbkText::PercentEncode(utf8Title) + "&limit=50");
    Json::Value hit;
    int hits = 0;
    for (const Json::Value& m : found["movies"]) {
      if (m["title"].asString() == utf8Title) {
        hit = m;
        ++hits;
      }
    }
    EXPECT_EQ(hits, 1) << utf8Title << ": " << found.toStyledString();
    return hit;
  }
  static std::vector<int> Kinds(const Json::Value& movie) {
    std::vector<int> kinds;
    for (const Json::Value& k : movie["kinds"]) kinds.push_back(k["id"].asInt());
    return kinds;
  }
  // The torrent of the movie, checked piece by piece against the bytes its web seed serves,
  // which must be those of `file`.
  std::string ExpectServedAsIs(uint32_t id, const fs::path& file) {
    auto res = client_->Get(("/torrent/" + std::to_string(id) + ".torrent").c_str());
    EXPECT_TRUE(res && res->status == 200);
    if (!res || res->status != 200) return "";
    lt::error_code ec;
    lt::torrent_info info(
        lt::span<char const>(res->body.data(), static_cast<long>(res->body.size())), ec,
        lt::from_span);
    EXPECT_FALSE(ec) << ec.message();
    if (ec) return "";
    EXPECT_EQ(info.web_seeds().size(), 1u);
    std::string seed = info.web_seeds().at(0).url;
    std::string prefix = "http://127.0.0.1:" + std::to_string(port_);
    EXPECT_EQ(seed.rfind(prefix, 0), 0u) << seed;
    auto body = client_->Get(seed.substr(prefix.size()).c_str());
    EXPECT_TRUE(body && body->status == 200) << seed;
    if (!body) return "";
    const std::string expected = Read(file);
    EXPECT_TRUE(body->body == expected) << file;
    EXPECT_EQ(info.total_size(), static_cast<int64_t>(expected.size()));
    for (lt::piece_index_t p : info.piece_range()) {
      int64_t at = static_cast<int64_t>(static_cast<int>(p)) * info.piece_length();
      EXPECT_EQ(lt::hasher(body->body.data() + at, info.piece_size(p)).final(),
                info.hash_for_piece(p))
          << file << " piece " << static_cast<int>(p);
    }
    std::ostringstream hash;
    hash << info.info_hashes().v1;
    return hash.str();
  }

  fs::path dir_, lib_, data_;
  int port_ = 0;
  std::unique_ptr<httplib::Client> client_;
};

TEST_F(LibraryTest, ScansServesInPlaceAndFollowsChanges) {
  const fs::path matrix = lib_ / "The Matrix (1999).mkv";
  const fs::path fuzz = lib_ / "Comedy" / "Hot.Fuzz.2007.1080p.BluRay.x264-GROUP.mkv";
  const fs::path inception = lib_ / "Inception (2010)" / "movie.mp4";
  const fs::path farewell = lib_ / "[电影天堂www.dytt8.net]霸王别姬.1993.BD1080p.中英双字.mkv";
  const fs::path tiger = lib_ / "wohu" / "wohu.RMVB";
  Write(matrix, RandomBytes(1, kFilm + 300000));
  Write(fuzz, RandomBytes(2, kFilm + 250001));
  Write(inception, RandomBytes(3, kFilm + 180000));
  Write(farewell, RandomBytes(4, kFilm));
  Write(tiger, RandomBytes(5, kFilm + 140000));
  Write(
      lib_ / "wohu" / "wohu.nfo",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<movie><title>卧虎藏龙</title><year>2000</year>"
      "<genre>Action</genre><genre>爱情</genre><plot>江湖恩怨。</plot></movie>\n");
  const std::string poster = RandomBytes(6, 5000);
  Write(lib_ / "Inception (2010)" / "poster.jpg", poster);
  Write(lib_ / "Inception (2010)" / "movie.nfo",
        "<movie><title>Inception</title><genre>Science Fiction</genre></movie>");
  Write(lib_ / "Inception (2010)" / "Sample" / "inception-sample.mkv", RandomBytes(7, 9000));
  Write(lib_ / "Inception (2010)" / "Inception.Trailer.mp4", RandomBytes(12, kFilm));
  Write(lib_ / "Tiny.Film.2003.mkv", RandomBytes(13, kFilm - 1));
  Write(lib_ / "VIDEO_TS" / "VTS_01_1.VOB", RandomBytes(14, kFilm));
  Write(lib_ / "readme.txt", "films for the office\n");
  Write(lib_ / "old" / "Matrix.mkv", Read(matrix));
  Write(dir_ / "outside" / "secret.mkv", RandomBytes(8, 50000));
  fs::create_symlink(dir_ / "outside" / "secret.mkv", lib_ / "Linked.Movie.2001.mkv");
  Write(lib_ / "Locked.Movie.2002.mkv", RandomBytes(9, kFilm));
  fs::permissions(lib_ / "Locked.Movie.2002.mkv", fs::perms::none);
  Write(lib_ / "Locked" / "Hidden.Film.2004.mkv", RandomBytes(15, kFilm));
  fs::permissions(lib_ / "Locked", fs::perms::none);

  // A stand-in for ffprobe: every film plays an hour and a half.
  const fs::path probe = dir_ / "ffprobe";
  Write(probe, "#!/bin/sh\nprintf 'format_name=matroska,webm\\nduration=5400.2\\n'\n");
  fs::permissions(probe, fs::perms::owner_all);

  ServiceProcess service({"--port", "0", "--data", data_.string(), "--library", lib_.string(),
                          "--rescan-minutes", "0", "--ffprobe", probe.string()});
  port_ = service.WaitForPort();
  ASSERT_GT(port_, 0) << service.Output();
  client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
  client_->set_url_encode(false);
  Json::Value status = WaitForScans(1);
  EXPECT_EQ(status["movies"].asInt(), 5) << status.toStyledString();

  struct Expected {
    const char* title;
    int year;
    std::vector<int> kinds;
    fs::path file;
  };
  const Expected expected[] = {{"The Matrix", 1999, {6}, matrix},
                               {"Hot Fuzz", 2007, {2}, fuzz},
                               {"Inception", 2010, {4}, inception},
                               {"霸王别姬", 1993, {6}, farewell},
                               {"卧虎藏龙", 2000, {1, 3}, tiger}};
  std::map<std::string, uint32_t> ids;
  std::map<std::string, std::string> hashes;
  for (const Expected& e : expected) {
    Json::Value m = Find(e.title);
    EXPECT_EQ(m["year"].asInt(), e.year) << e.title;
    EXPECT_EQ(Kinds(m), e.kinds) << e.title;
    ids[e.title] = m["id"].asUInt();
    hashes[e.title] = ExpectServedAsIs(m["id"].asUInt(), e.file);
  }
  Json::Value details = Get("/api/v1/movies/" + std::to_string(ids["卧虎藏龙"]));
  EXPECT_EQ(details["description"].asString(), "江湖恩怨。");
  EXPECT_EQ(details["duration_seconds"].asInt(), 5400);

  std::string skipped;
  for (const Json::Value& s : status["library"]["skipped"]) skipped += s.asString() + "\n";
  EXPECT_NE(skipped.find("inception-sample.mkv: sample"), std::string::npos) << skipped;
  EXPECT_NE(skipped.find("Inception.Trailer.mp4: sample or trailer"), std::string::npos) << skipped;
  EXPECT_NE(skipped.find("Tiny.Film.2003.mkv: smaller than 2 MiB"), std::string::npos) << skipped;
  EXPECT_NE(skipped.find("Linked.Movie.2001.mkv: link outside the library"), std::string::npos)
      << skipped;
  EXPECT_NE(skipped.find("Locked.Movie.2002.mkv: unreadable"), std::string::npos) << skipped;
  EXPECT_NE(skipped.find("Locked: unreadable folder"), std::string::npos) << skipped;
  EXPECT_NE(skipped.find("old/Matrix.mkv: duplicate of movie " + std::to_string(ids["The Matrix"])),
            std::string::npos)
      << skipped;
  EXPECT_EQ(skipped.find("readme"), std::string::npos);
  EXPECT_EQ(skipped.find("VOB"), std::string::npos);
  EXPECT_NE(service.Output().find("scan: added 5, changed 0, retired 0, skipped 7, unchanged 0 ("),
            std::string::npos)
      << service.Output();

  // The poster on the bulletin page, served from the library.
  auto page = client_->Get(("/bulletin/" + std::to_string(ids["Inception"]) + ".html").c_str());
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find("90 分钟"), std::string::npos);
  EXPECT_NE(page->body.find("<img id=\"poster\" src=\"/poster/" + std::to_string(ids["Inception"]) +
                            "\""),
            std::string::npos);
  auto image = client_->Get(("/poster/" + std::to_string(ids["Inception"])).c_str());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->status, 200);
  EXPECT_TRUE(image->body == poster);

  // A BitTorrent client fetches a film from the web seed alone, byte for byte.
  {
    auto torrent =
        client_->Get(("/torrent/" + std::to_string(ids["霸王别姬"]) + ".torrent").c_str());
    ASSERT_TRUE(torrent);
    lt::settings_pack pack;
    pack.set_str(lt::settings_pack::listen_interfaces, "127.0.0.1:0");
    pack.set_bool(lt::settings_pack::enable_dht, false);
    pack.set_bool(lt::settings_pack::enable_lsd, false);
    pack.set_bool(lt::settings_pack::enable_upnp, false);
    pack.set_bool(lt::settings_pack::enable_natpmp, false);
    lt::session session(pack);
    lt::add_torrent_params params;
    lt::error_code ec;
    params.ti = std::make_shared<lt::torrent_info>(
        lt::span<char const>(torrent->body.data(), static_cast<long>(torrent->body.size())), ec,
        lt::from_span);
    ASSERT_FALSE(ec) << ec.message();
    params.save_path = (dir_ / "downloads").string();
    lt::torrent_handle handle = session.add_torrent(params);
    for (int i = 0; i < 1500 && !handle.status().is_seeding; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(handle.status().is_seeding);
    EXPECT_TRUE(Read(dir_ / "downloads" / params.ti->files().file_path(lt::file_index_t{0})) ==
                Read(farewell));
  }

  // Nothing copied: the store holds torrents and the database, no film.
  for (const auto& entry : fs::recursive_directory_iterator(data_)) {
    if (!entry.is_regular_file() || entry.path().filename().string().rfind("zenu.db", 0) == 0) {
      continue;
    }
    EXPECT_LT(entry.file_size(), 20000u) << entry.path();
  }

  // One film added, one changed, one removed; the service follows on SIGHUP.
  const fs::path added = lib_ / "Added.Film.2015.720p.WEB-DL.mkv";
  Write(added, RandomBytes(10, kFilm + 90000));
  Write(fuzz, RandomBytes(11, kFilm + 260000));
  fs::last_write_time(fuzz, fs::last_write_time(fuzz) + std::chrono::seconds(5));
  fs::remove(farewell);
  service.Signal(SIGHUP);
  status = WaitForScans(2);
  EXPECT_EQ(status["library"]["added"].asInt(), 1);
  EXPECT_EQ(status["library"]["changed"].asInt(), 1);
  EXPECT_EQ(status["library"]["withdrawn"].asInt(), 1);
  EXPECT_EQ(status["movies"].asInt(), 5);
  EXPECT_NE(service.Output().find("scan: added 1, changed 1, retired 1, skipped 7, unchanged 3 ("),
            std::string::npos)
      << service.Output();

  Json::Value m = Find("Added Film");
  EXPECT_EQ(m["year"].asInt(), 2015);
  ExpectServedAsIs(m["id"].asUInt(), added);
  m = Find("Hot Fuzz");
  EXPECT_EQ(m["id"].asUInt(), ids["Hot Fuzz"]);
  EXPECT_NE(ExpectServedAsIs(ids["Hot Fuzz"], fuzz), hashes["Hot Fuzz"]);
  const std::string gone = std::to_string(ids["霸王别姬"]);
  EXPECT_EQ(Get("/api/v1/search?q=" + GbkText::PercentEncode("霸王别姬"))["count"].asInt(), 0);
  EXPECT_TRUE(Get("/api/v1/movies/" + gone)["withdrawn"].asBool());
  page = client_->Get(("/bulletin/" + gone + ".html").c_str());
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find("id=\"withdrawn\""), std::string::npos);
  EXPECT_EQ(page->body.find("id=\"download\""), std::string::npos);
  Get("/torrent/" + gone + ".torrent", 404);

  // A file touched behind the service's back is not served until it is scanned again; the
  // refused request asks for that scan itself.
  const std::string before = ExpectServedAsIs(ids["The Matrix"], matrix);
  fs::last_write_time(matrix, fs::last_write_time(matrix) + std::chrono::seconds(5));
  auto torrent =
      client_->Get(("/torrent/" + std::to_string(ids["The Matrix"]) + ".torrent").c_str());
  ASSERT_TRUE(torrent);
  lt::error_code ec;
  lt::torrent_info info(
      lt::span<char const>(torrent->body.data(), static_cast<long>(torrent->body.size())), ec,
      lt::from_span);
  ASSERT_FALSE(ec);
  const std::string seed =
      info.web_seeds().at(0).url.substr(("http://127.0.0.1:" + std::to_string(port_)).size());
  auto refused = client_->Get(seed.c_str());
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 404);
  WaitForScans(3);
  EXPECT_EQ(ExpectServedAsIs(ids["The Matrix"], matrix), before);

  // The operator's commands on the same store while the service runs.
  const std::string matrixId = std::to_string(ids["The Matrix"]);
  ServiceProcess retire({"--data", data_.string(), "retire", matrixId});
  EXPECT_EQ(retire.Wait(), 0) << retire.Output();
  ServiceProcess unknown({"--data", data_.string(), "retire", "99999"});
  EXPECT_EQ(unknown.Wait(), 1);
  service.Signal(SIGHUP);
  WaitForScans(4);
  EXPECT_TRUE(Get("/api/v1/movies/" + matrixId)["withdrawn"].asBool());
  // Its duplicate does not bring it back.
  EXPECT_EQ(Get("/api/v1/search?q=Matrix")["count"].asInt(), 0);
  Get("/torrent/" + matrixId + ".torrent", 404);
  auto registered = client_->Get(
      "/urls/UserRegister?username=operator1&md5_passwd=0123456789abcdef0123456789abcdef"
      "&action=add&iVersion=172");
  ASSERT_TRUE(registered);
  Get("/api/v1/task?username=operator1");
  ServiceProcess movies({"--data", data_.string(), "movies"});
  ServiceProcess users({"--data", data_.string(), "users"});
  EXPECT_EQ(movies.Wait(), 0);
  EXPECT_EQ(users.Wait(), 0);
  EXPECT_NE(movies.Output().find(matrixId + "\tThe Matrix\t1999\t剧情\t" +
                                 fs::canonical(matrix).string() + "\tretired\n"),
            std::string::npos)
      << movies.Output();
  EXPECT_NE(movies.Output().find("\t霸王别姬\t1993\t剧情\t"), std::string::npos) << movies.Output();
  EXPECT_NE(movies.Output().find(".mkv\tgone\n"), std::string::npos) << movies.Output();
  // Name, ratings, then the time of the last task request.
  EXPECT_NE(users.Output().find("\toperator1\t0\t20"), std::string::npos) << users.Output();

  // --scan into a fresh store: every film once, then nothing to read.
  const std::string fresh = (dir_ / "fresh").string();
  const std::vector<std::string> scan = {"--data",    fresh,  "--library", lib_.string(),
                                         "--ffprobe", "none", "--scan"};
  ServiceProcess first(scan);
  EXPECT_EQ(first.Wait(), 0) << first.Output();
  EXPECT_EQ(
      first.Output().rfind("scan: added 5, changed 0, retired 0, skipped 7, unchanged 0 (", 0), 0u)
      << first.Output();
  ServiceProcess again(scan);
  EXPECT_EQ(again.Wait(), 0) << again.Output();
  EXPECT_EQ(
      again.Output().rfind("scan: added 0, changed 0, retired 0, skipped 7, unchanged 5 (", 0), 0u)
      << again.Output();

  // A library folder that is not there is refused, by --scan and by the service alike; so is a
  // loopback public host for a service others connect to.
  const std::string missing = (dir_ / "no such folder").string();
  ServiceProcess scanMissing({"--data", fresh, "--library", missing, "--scan"});
  EXPECT_NE(scanMissing.Wait(), 0);
  ServiceProcess serveMissing({"--port", "0", "--data", fresh, "--library", missing});
  EXPECT_NE(serveMissing.Wait(), 0);
  ServiceProcess loopback({"--host", "0.0.0.0", "--public-host", "127.0.0.1", "--port", "0",
                           "--data", fresh, "--library", lib_.string()});
  EXPECT_EQ(loopback.Wait(), 2);
}

// Requests served while scans publish new catalogues always see a whole one: every film,
// each with the title of one scan or the other, never a missing or half-described one.
TEST_F(LibraryTest, RequestsDuringRescansSeeWholeCatalogues) {
  for (int i = 0; i < 6; ++i) {
    Write(lib_ / ("Film " + std::to_string(i) + " (2001).mkv"), RandomBytes(20 + i, kFilm));
  }
  const fs::path nfo = lib_ / "Film 0 (2001).nfo";
  ServiceConfig config;
  config.port = 0;
  config.dataDir = data_.string();
  config.libraries = {lib_.string()};
  config.rescanMinutes = 0;
  config.probeTool = "none";
  ZenuService service(config);
  port_ = service.Start();
  client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
  WaitForScans(1);

  std::atomic<bool> done{false};
  std::atomic<int> answers{0};
  std::vector<std::string> wrong;
  std::mutex wrongMutex;
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      httplib::Client c("127.0.0.1", port_);
      while (!done) {
        auto res = c.Get("/api/v1/search?q=2001&limit=50");
        Json::Value v = res ? ParseJson(res->body) : Json::Value();
        std::set<std::string> titles;
        for (const Json::Value& m : v["movies"]) titles.insert(m["title"].asString());
        const bool whole = v["count"].asInt() == 6 && titles.size() == 6 &&
                           (titles.count("Film 0") + titles.count("Renamed")) == 1;
        if (!whole) {
          std::lock_guard<std::mutex> lock(wrongMutex);
          wrong.push_back(res ? res->body : "no answer");
        }
        ++answers;
      }
    });
  }
  for (int round = 0; round < 8; ++round) {
    if (round % 2 == 0) {
      Write(nfo, "<movie><title>Renamed</title><year>2001</year></movie>");
    } else {
      fs::remove(nfo);
    }
    service.RequestScan();
    for (int i = 0; i < 500 && service.Scans().completed < round + 2; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  done = true;
  for (std::thread& t : readers) t.join();
  EXPECT_GE(service.Scans().completed, 9);
  EXPECT_GT(answers.load(), 0);
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " of " << answers << ", first: " << wrong[0];
}

}  // namespace
}  // namespace zenu::test
