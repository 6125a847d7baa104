#include "ClientRoutes.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include "BulletinPage.h"
#include "CatalogueGenerator.h"
#include "GbkText.h"
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

// Every requested range must start inside the file (a suffix range must ask
// for at least one byte); the library would answer the others with a bogus length.
bool RangesFit(const httplib::Request& req, size_t size) {
  if (req.has_header("Range") && req.ranges.empty()) return false;
  for (const auto& [first, last] : req.ranges) {
    if (first < 0 ? last <= 0 || size == 0
                  : static_cast<size_t>(first) >= size || (last >= 0 && last < first)) {
      return false;
    }
  }
  return true;
}

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
  if (!ctx_.catalogue->Find(movieId)) throw HttpError(404, "unknown movie");
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
  const Movie* movie = ctx_.catalogue->Find(RequestParams::MovieId(req, 1));
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
  const Movie* movie = ctx_.catalogue->Find(RequestParams::MovieId(req, 1));
  if (!movie || movie->fetchMethod != FetchMethod::kBitTorrent || movie->infoHash.empty()) {
    throw HttpError(404, "no torrent for this movie");
  }
  std::string torrent = ReadFile(CatalogueGenerator::TorrentPath(ctx_.config.dataDir, movie->id));
  if (torrent.empty()) throw HttpError(404, "torrent file missing");
  res.set_content(TorrentMaker::WithWebSeed(torrent, ctx_.urls->Content(*movie)),
                  "application/x-bittorrent");
}

void ClientRoutes::Content(const httplib::Request& req, httplib::Response& res) {
  const Movie* movie = ctx_.catalogue->Find(RequestParams::MovieId(req, 1));
  if (!movie || !movie->hasContent || req.matches[2].str() != movie->fileName) {
    throw HttpError(404, "no such content");
  }
  auto file = std::make_shared<std::ifstream>(
      CatalogueGenerator::ContentPath(ctx_.config.dataDir, *movie), std::ios::binary);
  if (!*file) throw HttpError(404, "content file missing");
  file->seekg(0, std::ios::end);
  auto size = static_cast<size_t>(file->tellg());
  res.set_header("Accept-Ranges", "bytes");
  if (!RangesFit(req, size)) {
    res.status = 416;
    res.set_header("Content-Range", "bytes */" + std::to_string(size));
    res.set_content("range not satisfiable", "text/plain; charset=utf-8");
    return;
  }
  res.set_content_provider(size, "application/octet-stream",
                           [file](size_t offset, size_t length, httplib::DataSink& sink) {
                             char buf[1 << 16];
                             file->clear();
                             file->seekg(static_cast<std::streamoff>(offset));
                             size_t n = std::min(length, sizeof(buf));
                             file->read(buf, static_cast<std::streamsize>(n));
                             if (file->gcount() <= 0) return false;
                             return sink.write(buf, static_cast<size_t>(file->gcount()));
                           });
}

}  // namespace zenu
