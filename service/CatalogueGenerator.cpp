#include "CatalogueGenerator.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "DemoVideo.h"
#include "MovieKinds.h"
#include "TorrentMaker.h"

namespace zenu {
namespace {

uint64_t SplitMix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

struct Ending final {
  const char* word;
  int kind;
};

const char* const kBeginnings[] = {"龙城", "风云", "长夜", "烈火", "孤岛", "星际", "江湖",
                                   "迷雾", "暗影", "蓝海", "雪国", "天涯", "铁血", "幻梦",
                                   "深海", "古堡", "黎明", "边城", "秘境", "无间"};
const Ending kEndings[] = {{"追凶", 11}, {"往事", 6},  {"归来", 1},  {"传奇", 12}, {"密码", 8},
                           {"之恋", 3},  {"行动", 1},  {"风暴", 1},  {"迷局", 8},  {"少年", 7},
                           {"危机", 4},  {"秘闻", 10}, {"奇缘", 3},  {"战记", 9},  {"谜案", 8},
                           {"故事", 6},  {"远征", 9},  {"惊魂", 5},  {"笑传", 2},  {"情书", 3},
                           {"守望", 4},  {"计划", 2},  {"谍影", 11}, {"人生", 6},  {"余晖", 10}};
constexpr int kBeginningCount = sizeof(kBeginnings) / sizeof(kBeginnings[0]);
constexpr int kEndingCount = sizeof(kEndings) / sizeof(kEndings[0]);

}  // namespace

CatalogueGenerator::CatalogueGenerator(CatalogueOptions options) : options_(options) {
  if (options_.maxBytes < options_.minBytes) options_.maxBytes = options_.minBytes;
  if (options_.minBytes == 0) throw std::invalid_argument("content size must be positive");
}

std::vector<Movie> CatalogueGenerator::Generate() const {
  std::vector<Movie> movies;
  movies.reserve(options_.movies);
  for (int i = 0; i < options_.movies; ++i) {
    Movie m;
    m.id = static_cast<uint32_t>(i + 1);
    uint64_t r = SplitMix(m.id * 7919ull);
    // Walk beginnings first so neighbouring ids differ in their kind.
    const Ending& ending = kEndings[i % kEndingCount];
    m.title = std::string(kBeginnings[(i / kEndingCount) % kBeginningCount]) + ending.word;
    int series = i / (kEndingCount * kBeginningCount);
    if (series > 0) m.title += std::to_string(series + 1);
    m.kinds.push_back(ending.kind);
    int second = 1 + static_cast<int>((r >> 8) % MovieKinds::All().size());
    if ((r & 1) && second != ending.kind) m.kinds.push_back(second);
    m.year = 1990 + static_cast<int>((r >> 16) % 23);
    if (options_.makeContent) {
      uint64_t span = options_.maxBytes - options_.minBytes + 1;
      m.sizeBytes = options_.minBytes + (r >> 24) % span;
    } else {
      m.sizeBytes = (700ull + (r >> 24) % 3700) * 1000 * 1000;
    }
    m.fetchMethod =
        options_.downloadManagerOnlyEvery > 0 && m.id % options_.downloadManagerOnlyEvery == 0
            ? FetchMethod::kDownloadManagerOnly
            : FetchMethod::kBitTorrent;
    char name[32];
    std::snprintf(name, sizeof(name),
                  options_.videoTool.empty() ? "movie_%05u.rmvb" : "movie_%05u.mp4", m.id);
    m.fileName = name;
    std::string kindNames;
    for (int k : m.kinds) {
      if (!kindNames.empty()) kindNames += "、";
      kindNames += *MovieKinds::Name(k);
    }
    m.description = "《" + m.title + "》是一部" + std::to_string(m.year) + "年的" + kindNames +
                    "影片。本片为演示目录中的样片，内容由服务自动生成，用于测试推送与下载。";
    movies.push_back(std::move(m));
  }
  return movies;
}

std::string CatalogueGenerator::ContentPath(const std::string& dataDir, const Movie& movie) {
  return dataDir + "/content/" + std::to_string(movie.id) + "/" + movie.fileName;
}

std::string CatalogueGenerator::TorrentPath(const std::string& dataDir, uint32_t movieId) {
  return dataDir + "/torrents/" + std::to_string(movieId) + ".torrent";
}

uint8_t CatalogueGenerator::ContentByte(uint32_t movieId, uint64_t offset) {
  uint64_t word = SplitMix((uint64_t{movieId} << 40) ^ (offset / 8));
  return static_cast<uint8_t>(word >> (8 * (offset % 8)));
}

void CatalogueGenerator::MakeContent(const std::string& dataDir, std::vector<Movie>& movies) const {
  namespace fs = std::filesystem;
  fs::create_directories(dataDir + "/torrents");
  std::vector<char> isVideo(movies.size(), 0);  // not vector<bool>: written from several threads
  if (!options_.videoTool.empty()) {
    // One encoder per core: a first demo start makes a few hundred of them.
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers(std::max(1u, std::thread::hardware_concurrency()));
    for (std::thread& worker : workers) {
      worker = std::thread([&] {
        for (size_t i = next++; i < movies.size(); i = next++) {
          const std::string path = ContentPath(dataDir, movies[i]);
          std::error_code ec;
          fs::create_directories(fs::path(path).parent_path(), ec);
          isVideo[i] = DemoVideo::Make(options_.videoTool, movies[i].title, path);
        }
      });
    }
    for (std::thread& worker : workers) worker.join();
  }
  std::vector<char> block;
  for (size_t index = 0; index < movies.size(); ++index) {
    Movie& m = movies[index];
    std::string path = ContentPath(dataDir, m);
    fs::create_directories(fs::path(path).parent_path());
    if (isVideo[index]) {
      m.sizeBytes = fs::file_size(path);
    } else {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      block.resize(1 << 16);
      for (uint64_t at = 0; at < m.sizeBytes; at += block.size()) {
        uint64_t n = std::min<uint64_t>(block.size(), m.sizeBytes - at);
        for (uint64_t i = 0; i < n; i += 8) {
          uint64_t word = SplitMix((uint64_t{m.id} << 40) ^ ((at + i) / 8));
          for (uint64_t b = 0; b < 8 && i + b < n; ++b) {
            block[i + b] = static_cast<char>(word >> (8 * b));
          }
        }
        out.write(block.data(), static_cast<std::streamsize>(n));
      }
      if (!out) throw std::runtime_error("cannot write " + path);
    }
    m.hasContent = true;
    if (m.fetchMethod != FetchMethod::kBitTorrent) continue;
    std::string torrent = TorrentMaker::Make(path, &m.infoHash);
    std::ofstream out(TorrentPath(dataDir, m.id), std::ios::binary | std::ios::trunc);
    out.write(torrent.data(), static_cast<std::streamsize>(torrent.size()));
    if (!out) throw std::runtime_error("cannot write torrent of movie " + std::to_string(m.id));
  }
}

}  // namespace zenu
