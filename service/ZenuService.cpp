#include "ZenuService.h"

#include <chrono>
#include <filesystem>
#include <iostream>

#include "CatalogueGenerator.h"
#include "RequestParams.h"

namespace zenu {

ZenuService::ZenuService(ServiceConfig config) : clientRoutes_(ctx_), apiRoutes_(ctx_) {
  ctx_.config = std::move(config);
  OpenData();
  SetUpServer();
}

ZenuService::~ZenuService() { Stop(); }

void ZenuService::OpenData() {
  std::filesystem::create_directories(ctx_.config.dataDir);
  ctx_.store = std::make_unique<Store>(ctx_.config.dataDir + "/zenu.db");
  if (!ctx_.store->HasMovies()) {
    CatalogueGenerator generator(ctx_.config.catalogue);
    std::vector<Movie> movies = generator.Generate();
    if (ctx_.config.catalogue.makeContent) generator.MakeContent(ctx_.config.dataDir, movies);
    ctx_.store->AddMovies(movies);
  }
  ctx_.catalogue = std::make_unique<Catalogue>(ctx_.store->LoadMovies());
  ctx_.recommender = std::make_unique<Recommender>(*ctx_.catalogue);
  for (const RatingRecord& r : ctx_.store->AllRatings()) {
    ctx_.recommender->AddRating(r.userId, r.movieId, r.score);
  }
  ctx_.planner = std::make_unique<PushPlanner>(*ctx_.store, *ctx_.catalogue, *ctx_.recommender,
                                               ctx_.config.planner);
}

void ZenuService::SetUpServer() {
  SServerLimits limits;
  limits.workers = static_cast<size_t>(ctx_.config.threads);
  limits.maxRequestsPerConnection = 1000;
  server_ = std::make_unique<CGuardedHttpServer>(limits);
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
}

int ZenuService::Bind() {
  const ServiceConfig& c = ctx_.config;
  port_ = c.port == 0 ? server_->bind_to_any_port(c.host)
                      : (server_->bind_to_port(c.host, c.port) ? c.port : -1);
  if (port_ <= 0) {
    throw std::runtime_error("cannot listen on " + c.host + ":" + std::to_string(c.port));
  }
  std::string publicHost = c.publicHost;
  if (publicHost.empty()) publicHost = c.host == "0.0.0.0" ? "127.0.0.1" : c.host;
  ctx_.urls = std::make_unique<ServiceUrls>(publicHost, port_);
  ctx_.writer = std::make_unique<MediaInfoWriter>(*ctx_.urls);
  return port_;
}

void ZenuService::Run() { server_->listen_after_bind(); }

int ZenuService::Start() {
  int port = Bind();
  thread_ = std::thread([this] { Run(); });
  // stop() only acts on a running server, so wait until the accept loop has started.
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return port;
}

void ZenuService::Stop() {
  server_->Shutdown(std::chrono::seconds(5));
  if (thread_.joinable()) thread_.join();
}

}  // namespace zenu
