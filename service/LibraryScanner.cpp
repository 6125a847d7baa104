#include "LibraryScanner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <unordered_map>

#include "CatalogueGenerator.h"
#include "GbkText.h"
#include "LibraryName.h"
#include "LibraryTorrent.h"
#include "MediaProbe.h"
#include "MovieKinds.h"
#include "NfoReader.h"

namespace zenu {
namespace fs = std::filesystem;
namespace {

constexpr uint64_t kMaxPosterBytes = 10u << 20;
// Below this a file is a clip or a broken download, not a film.
constexpr uint64_t kMinFilmBytes = 2u << 20;
constexpr int kDramaKind = 6;  // 剧情: what a film nobody named a kind for is shown as

struct Candidate final {
  std::string root;
  std::string location;  // where the library shows it, for names and side files
  std::string relative;  // location below the root
  std::string path;      // canonical
  uint64_t size = 0;
  int64_t mtimeNs = 0;
};

int64_t MtimeNs(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

std::string Canonical(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return "";
  std::string out = resolved;
  free(resolved);
  return out;
}

// A side file (.nfo, poster) counts only as a regular file that stays inside the library.
std::string SideFile(const std::string& path, const std::string& root, uint64_t maxBytes) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "";
  if (static_cast<uint64_t>(st.st_size) > maxBytes || st.st_size == 0) return "";
  std::string canonical = Canonical(path);
  if (canonical.empty() || !LibraryScanner::Inside(canonical, {root})) return "";
  if (::access(canonical.c_str(), R_OK) != 0) return "";
  return canonical;
}

std::string FindPoster(const Candidate& c) {
  fs::path location(c.location);
  const std::string dir = location.parent_path().string();
  const std::string stem = location.stem().string();
  std::vector<std::string> names;
  for (const char* ext : {".jpg", ".jpeg", ".png", ".webp"}) {
    names.push_back(stem + "-poster" + ext);
    names.push_back(stem + ext);
  }
  // Folder-wide names only in a film's own folder, not in a shared one.
  if (dir != c.root) {
    for (const char* base : {"poster", "folder", "cover"}) {
      for (const char* ext : {".jpg", ".jpeg", ".png", ".webp"}) {
        names.push_back(std::string(base) + ext);
      }
    }
  }
  for (const std::string& name : names) {
    std::string found = SideFile(dir + "/" + name, c.root, kMaxPosterBytes);
    if (!found.empty()) return found;
  }
  return "";
}

std::optional<NfoInfo> FindNfo(const Candidate& c) {
  fs::path location(c.location);
  const std::string dir = location.parent_path().string();
  std::vector<std::string> names = {location.stem().string() + ".nfo"};
  if (dir != c.root) names.push_back("movie.nfo");
  for (const std::string& name : names) {
    std::string found = SideFile(dir + "/" + name, c.root, NfoReader::kMaxBytes);
    if (found.empty()) continue;
    if (auto info = NfoReader::Read(found)) return info;
  }
  return std::nullopt;
}

bool FitsGbk(const std::string& utf8) {
  return !utf8.empty() && GbkText::FromUtf8(utf8).has_value();
}

// Title, year, kinds, description and poster from the file's name, folders and side files.
void Describe(const Candidate& c, Movie& m) {
  NameGuess guess = LibraryName::Guess(c.relative);
  std::optional<NfoInfo> nfo = FindNfo(c);
  const std::string named = LibraryName::SafeTitle(guess.title);
  std::string title = nfo ? LibraryName::SafeTitle(nfo->title) : "";
  // The client keeps titles in GBK: one it cannot hold falls back to the file's own name.
  if (!FitsGbk(title)) title = FitsGbk(named) ? named : m.fileName;
  m.title = title;
  m.year = nfo && nfo->year ? nfo->year : guess.year;
  m.kinds = nfo && !nfo->kinds.empty() ? nfo->kinds : LibraryName::FolderKinds(c.relative);
  if (m.kinds.empty()) m.kinds = {kDramaKind};
  if (nfo && !nfo->plot.empty()) {
    m.description = nfo->plot;
  } else {
    std::string kinds;
    for (int k : m.kinds) kinds += (kinds.empty() ? "" : "、") + MovieKinds::Name(k).value_or("");
    m.description = "《" + m.title + "》" + (m.year ? "，" + std::to_string(m.year) + "年" : "") +
                    (kinds.empty() ? "" : "，" + kinds + "片") + "。";
  }
  m.posterPath = FindPoster(c);
}

bool SameMeta(const Movie& a, const Movie& b) {
  return a.title == b.title && a.year == b.year && a.kinds == b.kinds &&
         a.description == b.description && a.posterPath == b.posterPath &&
         a.fileName == b.fileName && a.sizeBytes == b.sizeBytes && a.mtimeNs == b.mtimeNs &&
         a.contentKey == b.contentKey && a.infoHash == b.infoHash && a.sourcePath == b.sourcePath &&
         a.withdrawal == b.withdrawal && a.durationSeconds == b.durationSeconds &&
         a.container == b.container;
}

void WriteFileAtomically(const std::string& path, const std::string& data) {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) throw std::runtime_error("cannot write " + temp);
  }
  fs::rename(temp, path);
}

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TerminalProgress::TerminalProgress() : terminal_(::isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() {
  if (shown_) std::fprintf(stderr, "\r%70s\r", "");
}

void TerminalProgress::operator()(const ScanProgress& p) {
  if (!terminal_) return;
  auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_ < std::chrono::milliseconds(200)) return;
  last_ = now;
  shown_ = true;
  std::fprintf(stderr, "\rscanning: %zu/%zu files, %llu/%llu MiB   ", p.filesDone, p.filesTotal,
               static_cast<unsigned long long>(p.bytesDone >> 20),
               static_cast<unsigned long long>(p.bytesTotal >> 20));
}

std::string ScanReport::Summary() const {
  char seconds_text[32];
  std::snprintf(seconds_text, sizeof(seconds_text), "%.1f", seconds);
  return "scan: added " + std::to_string(added) + ", changed " + std::to_string(changed + moved) +
         ", retired " + std::to_string(withdrawn) + ", skipped " + std::to_string(skipped.size()) +
         ", unchanged " + std::to_string(unchanged) + " (" + seconds_text + " s)";
}

std::string ScanReport::Details() const {
  return "  " + std::to_string(movies) + " movies offered; " + std::to_string(moved) + " moved, " +
         std::to_string(restored) + " back, " + std::to_string(duplicates) + " duplicates; " +
         std::to_string(hashedBytes >> 20) + " MiB read";
}

LibraryScanner::LibraryScanner(Store& store, std::string dataDir, std::vector<std::string> roots,
                               std::string probeTool)
    : store_(store),
      dataDir_(std::move(dataDir)),
      roots_(std::move(roots)),
      probeTool_(std::move(probeTool)) {}

std::string LibraryScanner::CanonicalRoot(const std::string& path) {
  std::string canonical = Canonical(path);
  struct stat st {};
  if (canonical.empty() || ::stat(canonical.c_str(), &st) != 0) {
    const int error = errno;
    throw std::runtime_error(
        "library folder " + path +
        (error == ENOENT ? " does not exist"
                         : " cannot be opened (" + std::string(std::strerror(error)) + ")"));
  }
  if (!S_ISDIR(st.st_mode)) throw std::runtime_error("library " + path + " is not a folder");
  return canonical;
}

bool LibraryScanner::Inside(const std::string& path, const std::vector<std::string>& roots) {
  for (const std::string& root : roots) {
    const std::string prefix = root == "/" ? root : root + "/";
    if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

ScanReport LibraryScanner::Scan(const std::function<void(const ScanProgress&)>& progress,
                                const std::atomic<bool>* cancel) {
  const auto started = std::chrono::steady_clock::now();
  ScanReport report;
  std::vector<Candidate> candidates;
  std::set<std::string> unreadableRoots;

  for (const std::string& root : roots_) {
    std::error_code ec;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
      report.errors.push_back(root + ": " + ec.message());
      unreadableRoots.insert(root);
      continue;
    }
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (ec) {
        report.errors.push_back(root + ": " + ec.message());
        unreadableRoots.insert(root);
        break;
      }
      const fs::path& entry = it->path();
      const std::string name = entry.filename().string();
      const std::string location = entry.string();
      const std::string relative = location.substr(root.size() + (root == "/" ? 0 : 1));
      std::error_code typeError;
      const bool link = it->is_symlink(typeError);
      if (!name.empty() && name[0] == '.') {
        if (!link && it->is_directory(typeError)) it.disable_recursion_pending();
        continue;
      }
      if (!link && it->is_directory(typeError)) {
        // The walk passes over folders it may not enter; the operator hears of them.
        int dir = ::open(location.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        if (dir < 0) {
          report.skipped.push_back(location + ": unreadable folder (" + std::strerror(errno) + ")");
          it.disable_recursion_pending();
        } else {
          ::close(dir);
        }
        continue;
      }
      if (!LibraryName::IsVideo(name)) continue;
      if (LibraryName::IsSample(relative)) {
        report.skipped.push_back(location + ": sample or trailer");
        continue;
      }
      std::string canonical = Canonical(location);
      if (canonical.empty() || !Inside(canonical, {root})) {
        report.skipped.push_back(location +
                                 (link ? ": link outside the library" : ": unresolvable"));
        continue;
      }
      struct stat st {};
      if (::stat(canonical.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        report.skipped.push_back(location + ": not a regular file");
        continue;
      }
      if (static_cast<uint64_t>(st.st_size) < kMinFilmBytes) {
        report.skipped.push_back(location + ": smaller than 2 MiB");
        continue;
      }
      int fd = ::open(canonical.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
      if (fd < 0) {
        report.skipped.push_back(location + ": unreadable (" + std::strerror(errno) + ")");
        continue;
      }
      ::close(fd);
      candidates.push_back(
          {root, location, relative, canonical, static_cast<uint64_t>(st.st_size), MtimeNs(st)});
    }
  }
  std::sort(candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.path < b.path; });
  candidates.erase(
      std::unique(candidates.begin(), candidates.end(),
                  [](const Candidate& a, const Candidate& b) { return a.path == b.path; }),
      candidates.end());

  std::map<uint32_t, Movie> movies;
  std::unordered_map<std::string, uint32_t> bySource;
  for (Movie& m : store_.LoadMovies()) {
    if (!m.sourcePath.empty()) bySource[m.sourcePath] = m.id;
    movies.emplace(m.id, std::move(m));
  }
  const std::map<uint32_t, Movie> before = movies;
  std::unordered_map<std::string, LibraryFileRecord> cache;
  for (LibraryFileRecord& f : store_.LibraryFiles()) cache[f.path] = std::move(f);
  std::set<std::string> present;
  for (const Candidate& c : candidates) present.insert(c.path);

  // Which files must be read: new ones and those whose size or time changed.
  std::vector<std::string> keys(candidates.size());
  std::vector<bool> cached(candidates.size(), false);
  ScanProgress step;
  step.filesTotal = candidates.size();
  for (size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& c = candidates[i];
    auto hit = cache.find(c.path);
    if (hit == cache.end() || hit->second.size != c.size || hit->second.mtimeNs != c.mtimeNs) {
      step.bytesTotal += c.size;
      continue;
    }
    auto movie = movies.find(hit->second.movieId);
    if (movie == movies.end() || movie->second.contentKey != hit->second.contentKey ||
        !fs::exists(CatalogueGenerator::TorrentPath(dataDir_, movie->first))) {
      step.bytesTotal += c.size;
      continue;
    }
    keys[i] = hit->second.contentKey;
    cached[i] = true;
  }

  fs::create_directories(dataDir_ + "/torrents");
  std::unordered_map<std::string, uint32_t> byKey;
  for (const auto& [id, m] : movies) {
    if (!m.sourcePath.empty() && !m.contentKey.empty()) byKey.emplace(m.contentKey, id);
  }
  uint32_t nextId = store_.MaxMovieId();
  std::set<uint32_t> seenMovies;
  std::vector<LibraryFileRecord> files;
  std::map<uint32_t, std::string> torrents;  // to write, by movie

  for (size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& c = candidates[i];
    HashedFile hashed;
    if (!cached[i]) {
      int fd = ::open(c.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
      struct stat opened {};
      if (fd >= 0 && (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode))) {
        ::close(fd);
        fd = -1;
        errno = EINVAL;
      }
      if (fd < 0) {
        report.skipped.push_back(c.location + ": unreadable (" + std::strerror(errno) + ")");
        present.erase(c.path);
        continue;
      }
      const uint64_t base = step.bytesDone;
      try {
        hashed = LibraryTorrent::Make(
            fd, c.size, "x",
            [&](uint64_t done) {
              step.bytesDone = base + done;
              if (progress) progress(step);
            },
            cancel);
        struct stat st {};
        if (::fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) != c.size ||
            MtimeNs(st) != c.mtimeNs) {
          throw std::runtime_error("changed while it was read");
        }
      } catch (const std::exception& e) {
        ::close(fd);
        if (cancel && cancel->load()) throw;
        report.skipped.push_back(c.location + ": " + e.what());
        present.erase(c.path);
        step.bytesDone = base + c.size;
        continue;
      }
      ::close(fd);
      report.hashedBytes += c.size;
      keys[i] = hashed.contentKey;
    }
    ++step.filesDone;
    if (progress) progress(step);
    const std::string& key = keys[i];

    // Which movie this file is.
    uint32_t id = 0;
    bool isNew = false;
    bool moved = false;
    if (auto own = bySource.find(c.path); own != bySource.end()) {
      id = own->second;
    } else if (auto same = byKey.find(key); same != byKey.end()) {
      const Movie& other = movies[same->second];
      if (present.count(other.sourcePath) && other.sourcePath != c.path) {
        ++report.duplicates;
        report.skipped.push_back(c.location + ": duplicate of movie " + std::to_string(other.id));
        files.push_back({c.path, c.size, c.mtimeNs, key, other.id});
        continue;
      }
      id = same->second;
      ++report.moved;
      moved = true;
    } else {
      id = ++nextId;
      isNew = true;
    }
    if (!seenMovies.insert(id).second) continue;
    Movie& m = movies[id];
    const Movie old = m;
    m.id = id;
    if (!m.sourcePath.empty() && m.sourcePath != c.path) bySource.erase(m.sourcePath);
    m.sourcePath = c.path;
    bySource[c.path] = id;
    m.fetchMethod = FetchMethod::kBitTorrent;
    m.hasContent = true;
    m.sizeBytes = c.size;
    m.mtimeNs = c.mtimeNs;
    if (!old.contentKey.empty() && old.contentKey != key) byKey.erase(old.contentKey);
    m.contentKey = key;
    byKey[key] = id;
    const std::string served =
        LibraryName::ServedName(fs::path(c.location).filename().string(), key);
    if (!cached[i] || served != m.fileName) {
      if (cached[i]) {
        hashed = LibraryTorrent::Rename(
            ReadSmallFile(CatalogueGenerator::TorrentPath(dataDir_, id)), served);
      } else {
        hashed = LibraryTorrent::Rename(hashed.torrent, served);
      }
      m.infoHash = hashed.infoHash;
      torrents[id] = hashed.torrent;
    }
    m.fileName = served;
    if (!cached[i] && !probeTool_.empty()) {
      const MediaFacts facts = MediaProbe::Probe(probeTool_, c.path);
      m.durationSeconds = facts.durationSeconds;
      m.container = facts.container;
    }
    Describe(c, m);
    bool back = false;
    if (m.withdrawal == Withdrawal::kFileGone) {
      m.withdrawal = Withdrawal::kNone;
      ++report.restored;
      back = true;
    }
    if (isNew || back) {
      ++report.added;
    } else if (!old.contentKey.empty() && old.contentKey != key) {
      ++report.changed;
    } else if (!moved) {
      ++report.unchanged;
    }
    files.push_back({c.path, c.size, c.mtimeNs, key, id});
  }

  // Films whose file went away; not those of a library folder that could not be read.
  for (auto& [id, m] : movies) {
    if (m.sourcePath.empty() || seenMovies.count(id) || m.withdrawal != Withdrawal::kNone) continue;
    if (Inside(m.sourcePath,
               std::vector<std::string>(unreadableRoots.begin(), unreadableRoots.end()))) {
      continue;
    }
    m.withdrawal = Withdrawal::kFileGone;
    ++report.withdrawn;
  }

  std::vector<Movie> dirty;
  for (const auto& [id, m] : movies) {
    auto was = before.find(id);
    if (was == before.end() || !SameMeta(was->second, m)) dirty.push_back(m);
    if (!m.sourcePath.empty() && m.Available()) ++report.movies;
  }
  // Torrents first: a movie in the store always has its torrent on disk.
  for (const auto& [id, torrent] : torrents) {
    WriteFileAtomically(CatalogueGenerator::TorrentPath(dataDir_, id), torrent);
  }
  store_.ApplyScan(dirty, files);
  report.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return report;
}

}  // namespace zenu
