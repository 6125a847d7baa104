#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "ApiRoutes.h"
#include "ClientRoutes.h"
#include "GuardedHttpServer.h"
#include "LibraryScanner.h"
#include "ServiceContext.h"

namespace zenu {

// Opens the store (creating the demo catalogue on the first start of a store without
// libraries), loads the ratings into the model, and serves the client routes and the JSON
// API. Library folders are scanned in the background: at start, every rescan-minutes and on
// RequestScan(); each scan publishes a whole new catalogue.
class ZenuService final {
 public:
  explicit ZenuService(ServiceConfig config);  // throws std::runtime_error
  ~ZenuService();
  ZenuService(const ZenuService&) = delete;
  ZenuService& operator=(const ZenuService&) = delete;

  // Binds the listening socket; returns the port (useful with port 0).
  int Bind();
  // Starts the background scans and serves until Stop(); Bind() first.
  void Run();
  // Bind() and Run() on a thread of its own.
  int Start();
  void Stop();
  void RequestScan();
  ScanState Scans() const;

  int Port() const { return port_; }
  ServiceContext& Context() { return ctx_; }

 private:
  void OpenData();
  void SeedDemoRaters(const Catalogue& catalogue);
  void SetUpServer();
  void StartScans();
  void ScanLoop();
  // Loads the movies from the store and makes them the catalogue of every request to come.
  void Publish();
  // With PostgreSQL: takes up the ratings and catalogue changes of other processes.
  void RefreshLoop();
  static constexpr std::chrono::seconds kRefreshPeriod{2};
  static constexpr int64_t kClockSlackSeconds = 60;

  ServiceContext ctx_;
  std::unique_ptr<CGuardedHttpServer> server_;
  ClientRoutes clientRoutes_;
  ApiRoutes apiRoutes_;
  std::thread thread_;
  int port_ = -1;

  std::unique_ptr<LibraryScanner> scanner_;
  std::thread scanThread_;
  std::thread refreshThread_;
  std::atomic<int64_t> catalogueGeneration_{0};
  mutable std::mutex scanMutex_;
  std::condition_variable scanWake_;
  bool scanWanted_ = false;
  bool stopping_ = false;
  std::atomic<bool> cancelScan_{false};
  ScanState scans_;
};

}  // namespace zenu
