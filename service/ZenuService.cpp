#include "ZenuService.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>

#include "CatalogueGenerator.h"
#include "MediaProbe.h"
#include "RequestParams.h"
#include "SyntheticRatings.h"
#include "TrackerWhitelist.h"

namespace zenu {
namespace {
// Other users' ratings reach the item similarities within this; a user's own count at once.
constexpr double kSimilarityRefreshSeconds = 1.0;
}  // namespace

ZenuService::ZenuService(ServiceConfig config) : clientRoutes_(ctx_), apiRoutes_(ctx_) {
  ctx_.config = std::move(config);
  ctx_.config.PublicHost();  // refuse a bad one before touching the store
  ctx_.config.CheckTls();
  OpenData();
  SetUpServer();
}

ZenuService::~ZenuService() { Stop(); }

void ZenuService::SeedDemoRaters(const Catalogue& catalogue) {
  if (catalogue.All().empty() || ctx_.config.catalogue.demoRaters <= 0) return;
  // A demo catalogue has nobody else's ratings: a few made-up viewers give pushes by rating
  // neighbours to go by. Their password hash matches no password, so nobody logs in as them.
  SyntheticOptions options;
  options.users = ctx_.config.catalogue.demoRaters;
  options.minRatingsPerUser = 8;
  options.maxRatingsPerUser = 20;
  std::vector<int64_t> ids(static_cast<size_t>(options.users) + 1, 0);
  for (int u = 1; u <= options.users; ++u) {
    std::string name = "demo-viewer-" + std::to_string(u);
    ctx_.store->AddUser(name, "-", 0);
    if (auto user = ctx_.store->FindUser(name)) ids[static_cast<size_t>(u)] = user->id;
  }
  for (RatingRecord r : SyntheticRatings::Generate(catalogue, options)) {
    r.userId = ids[static_cast<size_t>(r.userId)];
    if (r.userId != 0) ctx_.store->SaveRating(r);
  }
}

void ZenuService::OpenData() {
  for (const std::string& library : ctx_.config.libraries) {
    ctx_.libraryRoots.push_back(LibraryScanner::CanonicalRoot(library));
  }
  std::filesystem::create_directories(ctx_.config.dataDir);
  ctx_.store = std::make_unique<Store>(ctx_.config.StoreTarget(), ctx_.config.threads);
  if (ctx_.libraryRoots.empty() && !ctx_.store->HasMovies()) {
    CatalogueGenerator generator(ctx_.config.catalogue);
    std::vector<Movie> movies = generator.Generate();
    if (ctx_.config.catalogue.makeContent) generator.MakeContent(ctx_.config.dataDir, movies);
    ctx_.store->AddMovies(movies);
    SeedDemoRaters(Catalogue(movies));
  }
  ctx_.catalogue.Set(std::make_shared<const Catalogue>(ctx_.store->LoadMovies()));
  // A whitelist that cannot be written is a configuration fault, refused before serving.
  if (!ctx_.config.trackerWhitelist.empty()) {
    TrackerWhitelist::Write(ctx_.config.trackerWhitelist, *ctx_.catalogue.Get());
  }
  // Requests must not wait for a similarity build: it runs beside them.
  RecommenderParams model;
  model.similarityRefreshSeconds = kSimilarityRefreshSeconds;
  ctx_.recommender = std::make_unique<Recommender>(ctx_.catalogue.Get(), model);
  for (const RatingRecord& r : ctx_.store->AllRatings()) {
    ctx_.recommender->AddRating(r.userId, r.movieId, r.score);
  }
  for (const auto& [user, movie] : ctx_.store->AllDismissals()) {
    ctx_.recommender->AddDismissal(user, movie);
  }
  ctx_.recommender->RefreshSimilarities();
  ctx_.planner = std::make_unique<PushPlanner>(*ctx_.store, ctx_.catalogue, *ctx_.recommender,
                                               ctx_.config.planner);
  std::string probe = ctx_.config.probeTool;
  if (probe == "auto") probe = MediaProbe::FindTool();
  if (probe == "none") probe.clear();
  if (!ctx_.libraryRoots.empty()) {
    scanner_ = std::make_unique<LibraryScanner>(*ctx_.store, ctx_.config.dataDir, ctx_.libraryRoots,
                                                probe);
  }
  ctx_.requestScan = [this] { RequestScan(); };
  ctx_.scanState = [this] { return Scans(); };
}

void ZenuService::Publish() {
  catalogueGeneration_ = ctx_.store->CatalogueGeneration();
  auto catalogue = std::make_shared<const Catalogue>(ctx_.store->LoadMovies());
  ctx_.recommender->SetCatalogue(catalogue);
  if (!ctx_.config.trackerWhitelist.empty()) {
    try {
      TrackerWhitelist::Write(ctx_.config.trackerWhitelist, *catalogue);
    } catch (const std::exception& e) {
      std::cerr << "zenu-service: tracker whitelist: " << e.what() << std::endl;
    }
  }
  ctx_.catalogue.Set(std::move(catalogue));
}

void ZenuService::RequestScan() {
  std::lock_guard<std::mutex> lock(scanMutex_);
  scanWanted_ = true;
  scanWake_.notify_all();
}

ScanState ZenuService::Scans() const {
  std::lock_guard<std::mutex> lock(scanMutex_);
  return scans_;
}

void ZenuService::RefreshLoop() {
  std::unique_lock<std::mutex> lock(scanMutex_);
  int64_t ratedSince = 0;
  for (const RatingRecord& r : ctx_.store->RatingsSince(0))
    ratedSince = std::max(ratedSince, r.ratedAt);
  while (!scanWake_.wait_for(lock, kRefreshPeriod, [this] { return stopping_; })) {
    lock.unlock();
    try {
      // Ratings given to other processes; one given again changes nothing, so the window
      // reaches back far enough for the clocks of several machines.
      for (const RatingRecord& r : ctx_.store->RatingsSince(ratedSince - kClockSlackSeconds)) {
        ctx_.recommender->AddRating(r.userId, r.movieId, r.score);
        ratedSince = std::max(ratedSince, r.ratedAt);
      }
      for (const auto& [user, movie] : ctx_.store->AllDismissals()) {
        ctx_.recommender->AddDismissal(user, movie);
      }
      if (ctx_.store->CatalogueGeneration() != catalogueGeneration_) Publish();
    } catch (const std::exception& e) {
      std::cerr << "zenu-service: refresh from the database failed: " << e.what() << std::endl;
    }
    lock.lock();
  }
}

void ZenuService::StartScans() {
  if (scanThread_.joinable()) return;
  // Processes sharing a database see each other's ratings and catalogue within a period.
  if (ctx_.store->Database().Dialect() == SqlDialect::kPostgres) {
    refreshThread_ = std::thread([this] { RefreshLoop(); });
  }
  {
    std::lock_guard<std::mutex> lock(scanMutex_);
    scanWanted_ = scanner_ != nullptr;
  }
  scanThread_ = std::thread([this] { ScanLoop(); });
}

void ZenuService::ScanLoop() {
  std::unique_lock<std::mutex> lock(scanMutex_);
  while (!stopping_) {
    if (!scanWanted_) {
      const int minutes = ctx_.config.rescanMinutes;
      if (scanner_ && minutes > 0) {
        if (!scanWake_.wait_for(lock, std::chrono::minutes(minutes),
                                [this] { return stopping_ || scanWanted_; })) {
          scanWanted_ = true;
        }
      } else {
        scanWake_.wait(lock, [this] { return stopping_ || scanWanted_; });
      }
      continue;
    }
    scanWanted_ = false;
    scans_.running = true;
    lock.unlock();
    ScanReport report;
    try {
      // Without libraries a rescan still picks up what admin commands changed in the store.
      if (scanner_) {
        const bool scanned = ctx_.store->InScanTurn([&] {
          TerminalProgress line;
          report = scanner_->Scan(std::ref(line), &cancelScan_);
        });
        if (scanned) {
          std::cout << report.Summary() << std::endl;
          for (const std::string& s : report.skipped) std::cout << "  skipped " << s << "\n";
          for (const std::string& e : report.errors) std::cerr << "  cannot read " << e << "\n";
        } else {
          std::cout << "scan: another service process is scanning; its result is taken up"
                    << std::endl;
        }
        std::cout.flush();
      }
      Publish();
    } catch (const std::exception& e) {
      if (!cancelScan_) std::cerr << "zenu-service: library scan failed: " << e.what() << std::endl;
    }
    lock.lock();
    scans_.running = false;
    ++scans_.completed;
    scans_.last = std::move(report);
  }
}

void ZenuService::SetUpServer() {
  SServerLimits limits;
  limits.workers = static_cast<size_t>(ctx_.config.threads);
  limits.maxRequestsPerConnection = 1000;
  server_ = std::make_unique<CGuardedHttpServer>(limits);
  // An answer goes out as head and body: with Nagle's algorithm the body waits for the
  // client's delayed acknowledgement of the head, 40 ms on every kept-alive request.
  server_->set_tcp_nodelay(true);
  server_->set_exception_handler(
      [](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
        int status = 500;
        std::string message = "internal error";
        try {
          std::rethrow_exception(ep);
        } catch (const HttpError& e) {
          status = e.Status();
          message = e.what();
        } catch (const std::exception& e) {
          message = std::string("internal error: ") + e.what();
        } catch (...) {
        }
        if (status >= 500) std::cerr << req.method << " " << req.path << ": " << message << "\n";
        if (req.path.rfind("/api/", 0) == 0) {
          Json::Value body;
          body["error"] = message;
          JsonReply::Send(res, body, status);
        } else {
          res.status = status;
          res.set_content(message, "text/plain; charset=utf-8");
        }
      });
  // Answers without a route still get a body and so a Content-Length.
  server_->set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty()) {
      res.set_content(res.status == 404 ? "not found" : "error " + std::to_string(res.status),
                      "text/plain; charset=utf-8");
    }
  });
  clientRoutes_.Register(*server_);
  apiRoutes_.Register(*server_);
  if (ctx_.config.Tls()) {
    std::string why;
    if (!server_->EnableTls(ctx_.config.tlsCert, ctx_.config.tlsKey, why))
      throw std::runtime_error("TLS: " + why);
  }
}

int ZenuService::Bind() {
  const ServiceConfig& c = ctx_.config;
  c.PublicHost();  // refuse a bad one before taking the port
  port_ = c.port == 0 ? server_->bind_to_any_port(c.host)
                      : (server_->bind_to_port(c.host, c.port) ? c.port : -1);
  if (port_ <= 0) {
    throw std::runtime_error("cannot listen on " + c.host + ":" + std::to_string(c.port));
  }
  const int publicPort = c.publicUrl.empty() ? port_ : c.PublicPort();
  ctx_.urls = std::make_unique<ServiceUrls>(c.PublicHost(), publicPort, c.PublicScheme());
  ctx_.writer = std::make_unique<MediaInfoWriter>(*ctx_.urls);
  return port_;
}

void ZenuService::Run() {
  StartScans();
  server_->listen_after_bind();
}

int ZenuService::Start() {
  int port = Bind();
  thread_ = std::thread([this] { Run(); });
  // stop() only acts on a running server, so wait until the accept loop has started.
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return port;
}

void ZenuService::Stop() {
  {
    std::lock_guard<std::mutex> lock(scanMutex_);
    stopping_ = true;
    cancelScan_ = true;
    scanWake_.notify_all();
  }
  if (scanThread_.joinable()) scanThread_.join();
  if (refreshThread_.joinable()) refreshThread_.join();
  server_->Shutdown(std::chrono::seconds(5));
  if (thread_.joinable()) thread_.join();
}

}  // namespace zenu
