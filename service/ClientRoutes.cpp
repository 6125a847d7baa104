#include "ClientRoutes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "BulletinPage.h"
#include "CatalogueGenerator.h"
#include "GbkText.h"
#include "LibraryScanner.h"
#include "RequestParams.h"
#include "TorrentMaker.h"

namespace zenu {
namespace {

constexpr size_t kMaxNameBytes = 64;
constexpr size_t kMaxCommentBytes = 2000;

void Text(httplib::Response& res, const std::string& body) {
  res.set_content(body, "text/plain; charset=GBK");
}

std::string CheckedName(const std::string& name) {
  if (name.empty()) throw HttpError(400, "username is empty");
  if (name.size() > kMaxNameBytes) throw HttpError(400, "username is too long");
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) throw HttpError(400, "username holds a control character");
  }
  return name;
}

std::string CheckedDigest(const std::string& md5) {
  if (md5.size() != 32 || md5.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    throw HttpError(400, "md5_passwd must be 32 hexadecimal characters");
  }
  std::string lower = md5;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  return lower;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

struct ByteRange final {
  uint64_t first = 0;
  uint64_t last = 0;
};

// The first range of the Range header, fitted to the file: several ranges are answered with
// the first one alone. Empty optional with `satisfiable` false for a range outside the file.
std::optional<ByteRange> FirstRange(const std::string& header, uint64_t size, bool& satisfiable) {
  satisfiable = true;
  if (header.empty()) return std::nullopt;
  std::string spec =
      header.substr(header.find('=') == std::string::npos ? header.size() : header.find('=') + 1);
  spec = spec.substr(0, spec.find(','));
  spec.erase(std::remove(spec.begin(), spec.end(), ' '), spec.end());
  size_t dash = spec.find('-');
  satisfiable = false;
  if (header.compare(0, 6, "bytes=") != 0 || dash == std::string::npos) return std::nullopt;
  const std::string a = spec.substr(0, dash), b = spec.substr(dash + 1);
  auto number = [](const std::string& t, uint64_t& out) {
    if (t.empty() || t.size() > 19 || t.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    out = std::strtoull(t.c_str(), nullptr, 10);
    return true;
  };
  uint64_t x = 0, y = 0;
  ByteRange r;
  if (a.empty()) {  // the last y bytes
    if (!number(b, y) || y == 0 || size == 0) return std::nullopt;
    r.first = y >= size ? 0 : size - y;
    r.last = size - 1;
  } else {
    if (!number(a, x) || x >= size) return std::nullopt;
    if (!b.empty() && (!number(b, y) || y < x)) return std::nullopt;
    r.first = x;
    r.last = b.empty() || y >= size ? size - 1 : y;
  }
  satisfiable = true;
  return r;
}

// A library file is opened only while it is still the regular file at its canonical path
// inside a library folder: a link or folder swapped in since the scan leads nowhere.
int OpenInside(const std::string& path, const std::vector<std::string>& roots, struct stat& st) {
  if (!LibraryScanner::Inside(path, roots)) return -1;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return -1;
  char link[64];
  std::snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
  char* real = ::realpath(link, nullptr);
  const bool same = real && std::string(real) == path;
  free(real);
  if (!same || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Only the bytes that were hashed: another file would fail every piece check.
int OpenLibraryFile(const Movie& movie, const std::vector<std::string>& roots, bool& changed) {
  changed = false;
  struct stat st {};
  int fd = OpenInside(movie.sourcePath, roots, st);
  if (fd < 0) return -1;
  const int64_t mtime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  if (static_cast<uint64_t>(st.st_size) != movie.sizeBytes || mtime != movie.mtimeNs) {
    changed = true;
    ::close(fd);
    return -1;
  }
  return fd;
}

class FileCloser final {
 public:
  explicit FileCloser(int descriptor) : fd(descriptor) {}
  ~FileCloser() { ::close(fd); }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;
  const int fd;
};

}  // namespace

void ClientRoutes::Register(httplib::Server& server) {
  using Req = const httplib::Request&;
  using Res = httplib::Response&;
  server.Get("/urls/UserLogin", [this](Req q, Res s) { Login(q, s); });
  server.Get("/urls/UserRegister", [this](Req q, Res s) { UserRegister(q, s); });
  server.Get("/urls/UserReportStatus", [this](Req q, Res s) { ReportStatus(q, s); });
  server.Get("/update_info/zenu/update.ini", [this](Req q, Res s) { UpdateIni(q, s); });
  server.Get(R"(/bulletin/(\d+)\.html)", [this](Req q, Res s) { Bulletin(q, s); });
  server.Get(R"(/torrent/(\d+)\.torrent)", [this](Req q, Res s) { Torrent(q, s); });
  server.Get(R"(/content/(\d+)/([^/]+))", [this](Req q, Res s) { Content(q, s); });
  server.Get(R"(/poster/(\d+))", [this](Req q, Res s) { Poster(q, s); });
  // The default UpdateUrl points here.
  server.Get("/download/", [this](Req, Res s) {
    s.set_content(
        "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"UTF-8\">"
        "<title>下载</title></head><body><h1>" +
            BulletinPage::HtmlEscape(ctx_.config.update.newVersionDisplay) +
            "</h1><p>请从软件发布页面获取最新版本。</p></body></html>",
        "text/html; charset=utf-8");
  });
}

void ClientRoutes::Login(const httplib::Request& req, httplib::Response& res) {
  RequestParams params(req);
  std::string name = CheckedName(params.Required("username"));
  std::string md5 = CheckedDigest(params.Required("md5_passwd"));
  params.IntOr("version", 0, 0, 1000000);
  auto user = ctx_.store->FindUser(name);
  Text(res, user && user->md5 == md5 ? kMarker : "Username Error");
}

void ClientRoutes::UserRegister(const httplib::Request& req, httplib::Response& res) {
  RequestParams params(req);
  std::string name = CheckedName(params.Required("username"));
  std::string md5 = CheckedDigest(params.Required("md5_passwd"));
  if (params.Required("action") != "add") throw HttpError(400, "action must be add");
  int version = static_cast<int>(params.IntOr("iVersion", 0, 0, 1000000));
  Text(res, ctx_.store->AddUser(name, md5, version) ? kMarker : "User Exist");
}

void ClientRoutes::ReportStatus(const httplib::Request& req, httplib::Response& res) {
  RequestParams params(req);
  // The client encodes the name twice; the HTTP layer undid the outer encoding.
  auto name = GbkText::PercentDecode(params.Required("username"));
  if (!name) throw HttpError(400, "username is not URL-encoded twice");
  CheckedName(*name);
  std::string eval = params.Required("eval");
  size_t comma = eval.find(',');
  if (comma == std::string::npos) throw HttpError(400, "eval must be movie id,score");
  auto movieId = static_cast<uint32_t>(
      RequestParams::ParseInt(eval.substr(0, comma), "eval movie id", 1, 0xFFFFFFFFll));
  int score = static_cast<int>(RequestParams::ParseInt(eval.substr(comma + 1), "eval score", 1, 5));
  bool recommendAll = params.IntOr("iIsRmdAllFriend", 0, 0, 1) == 1;
  std::string comment = params.Optional("utf8Comment").value_or("");
  if (comment.size() > kMaxCommentBytes) throw HttpError(400, "utf8Comment is too long");
  if (!GbkText::IsValidUtf8(comment)) throw HttpError(400, "utf8Comment is not UTF-8");

  auto user = ctx_.store->FindUser(*name);
  if (!user) throw HttpError(404, "unknown user");
  if (!ctx_.catalogue.Get()->Find(movieId)) throw HttpError(404, "unknown movie");
  ctx_.planner->Rate({user->id, movieId, score, recommendAll, comment, 0});
  Text(res, kMarker);
}

void ClientRoutes::UpdateIni(const httplib::Request&, httplib::Response& res) {
  const UpdateInfo& u = ctx_.config.update;
  std::string url = u.updateUrl.empty() ? ctx_.urls->Update() : u.updateUrl;
  std::string text = "NewVersionInternal=" + std::to_string(u.newVersion) + "\n" +
                     "NewVersionDisplay=" + u.newVersionDisplay + "\n" +
                     "NewVersionFunction=" + u.newVersionFunction + "\n" +
                     "AbandonVersionInternal=" + std::to_string(u.abandonVersion) + "\n" +
                     "AbandonVersionDisplay=" + u.abandonVersionDisplay + "\n" +
                     "UpdateUrl=" + url + "\n";
  auto gbk = GbkText::FromUtf8(text);
  if (!gbk) throw HttpError(500, "update description cannot be written in GBK");
  Text(res, *gbk);
}

void ClientRoutes::Bulletin(const httplib::Request& req, httplib::Response& res) {
  auto catalogue = ctx_.catalogue.Get();
  const Movie* movie = catalogue->Find(RequestParams::MovieId(req, 1));
  if (!movie) throw HttpError(404, "unknown movie");
  auto ratings = ctx_.store->RatingsOfMovie(movie->id, 1000);
  double sum = 0;
  std::vector<BulletinComment> comments;
  for (const auto& r : ratings) {
    sum += r.score;
    if (r.comment.empty() || comments.size() >= 20) continue;
    auto user = ctx_.store->FindUserById(r.userId);
    comments.push_back({user ? GbkText::ToUtf8Lossy(user->name) : "?", r});
  }
  double average = ratings.empty() ? 0 : sum / ratings.size();
  res.set_content(BulletinPage::Render(*movie, average, static_cast<int>(ratings.size()), comments,
                                       ctx_.urls->Fetch(*movie)),
                  "text/html; charset=utf-8");
}

void ClientRoutes::Torrent(const httplib::Request& req, httplib::Response& res) {
  auto catalogue = ctx_.catalogue.Get();
  const Movie* movie = catalogue->Find(RequestParams::MovieId(req, 1));
  if (!movie || movie->fetchMethod != FetchMethod::kBitTorrent || movie->infoHash.empty()) {
    throw HttpError(404, "no torrent for this movie");
  }
  if (!movie->Available()) throw HttpError(404, "this movie has been withdrawn");
  std::string torrent = ReadFile(CatalogueGenerator::TorrentPath(ctx_.config.dataDir, movie->id));
  if (torrent.empty()) throw HttpError(404, "torrent file missing");
  torrent = TorrentMaker::WithTrackers(torrent, ctx_.config.trackers);
  res.set_content(TorrentMaker::WithWebSeed(torrent, ctx_.urls->Content(*movie)),
                  "application/x-bittorrent");
}

void ClientRoutes::Content(const httplib::Request& req, httplib::Response& res) {
  // The library's own range handling answers several ranges wrongly, adds a second
  // Content-Range to a 416 and cuts even error messages to the range, so ranges are answered
  // here and the library is told of none.
  const std::string header = req.get_header_value("Range");
  const_cast<httplib::Request&>(req).ranges.clear();
  auto catalogue = ctx_.catalogue.Get();
  const Movie* movie = catalogue->Find(RequestParams::MovieId(req, 1));
  if (!movie || !movie->hasContent || !movie->Available() ||
      req.matches[2].str() != movie->fileName) {
    throw HttpError(404, "no such content");
  }
  int fd = -1;
  if (movie->sourcePath.empty()) {
    fd = ::open(CatalogueGenerator::ContentPath(ctx_.config.dataDir, *movie).c_str(),
                O_RDONLY | O_CLOEXEC);
  } else {
    bool changed = false;
    fd = OpenLibraryFile(*movie, ctx_.libraryRoots, changed);
    if (changed) {
      if (ctx_.requestScan) ctx_.requestScan();
      throw HttpError(404, "the file changed since the library was scanned");
    }
  }
  if (fd < 0) throw HttpError(404, "content file missing");
  auto file = std::make_shared<FileCloser>(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw HttpError(404, "content file missing");
  const auto size = static_cast<uint64_t>(st.st_size);
  res.set_header("Accept-Ranges", "bytes");
  bool satisfiable = true;
  std::optional<ByteRange> range = FirstRange(header, size, satisfiable);
  if (!satisfiable) {
    res.status = 416;
    res.set_header("Content-Range", "bytes */" + std::to_string(size));
    res.set_content("range not satisfiable", "text/plain; charset=utf-8");
    return;
  }
  uint64_t first = 0;
  uint64_t length = size;
  if (range) {
    first = range->first;
    length = range->last - range->first + 1;
    res.status = 206;
    res.set_header("Content-Range", "bytes " + std::to_string(range->first) + "-" +
                                        std::to_string(range->last) + "/" + std::to_string(size));
  }
  if (length == 0) {
    res.set_content("", "application/octet-stream");
    return;
  }
  res.set_content_provider(
      static_cast<size_t>(length), "application/octet-stream",
      [this, file, first](size_t offset, size_t wanted, httplib::DataSink& sink) {
        char buf[1 << 16];
        size_t n = std::min(wanted, sizeof(buf));
        ssize_t got = ::pread(file->fd, buf, n, static_cast<off_t>(first + offset));
        if (got <= 0) return false;
        if (!sink.write(buf, static_cast<size_t>(got))) return false;
        ctx_.contentBytesSent += static_cast<std::uint64_t>(got);
        return true;
      });
}

void ClientRoutes::Poster(const httplib::Request& req, httplib::Response& res) {
  auto catalogue = ctx_.catalogue.Get();
  const Movie* movie = catalogue->Find(RequestParams::MovieId(req, 1));
  if (!movie || movie->posterPath.empty()) throw HttpError(404, "no poster");
  struct stat st {};
  int fd = OpenInside(movie->posterPath, ctx_.libraryRoots, st);
  if (fd < 0) throw HttpError(404, "no poster");
  FileCloser closer(fd);
  constexpr off_t kMaxPoster = 10 << 20;
  if (st.st_size > kMaxPoster) {
    throw HttpError(404, "no poster");
  }
  std::string data(static_cast<size_t>(st.st_size), '\0');
  size_t got = 0;
  while (got < data.size()) {
    ssize_t n = ::pread(fd, data.data() + got, data.size() - got, static_cast<off_t>(got));
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  data.resize(got);
  std::string ext = movie->posterPath.substr(movie->posterPath.rfind('.') + 1);
  const char* type = ext == "png" ? "image/png" : ext == "webp" ? "image/webp" : "image/jpeg";
  res.set_content(data, type);
}

}  // namespace zenu
