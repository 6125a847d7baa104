#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "CatalogueHolder.h"
#include "LibraryScanner.h"
#include "MediaInfoWriter.h"
#include "PushPlanner.h"
#include "Recommender.h"
#include "ServiceConfig.h"
#include "ServiceUrls.h"
#include "Store.h"

namespace zenu {

// What the route handlers share. The URLs exist once the port is bound.
struct ServiceContext final {
  ServiceConfig config;
  std::unique_ptr<Store> store;
  CatalogueHolder catalogue;
  std::vector<std::string> libraryRoots;  // canonical
  // Asks the background scan to run soon (a library file no longer matches its torrent).
  std::function<void()> requestScan;
  std::function<ScanState()> scanState;
  std::unique_ptr<Recommender> recommender;
  std::unique_ptr<PushPlanner> planner;
  std::unique_ptr<ServiceUrls> urls;
  std::unique_ptr<MediaInfoWriter> writer;
  // Movie bytes this process sent as a web seed: what the peers spared it shows.
  std::atomic<std::uint64_t> contentBytesSent{0};
};

// Thrown by handlers for a request they refuse; becomes an answer with that status.
class HttpError final : public std::runtime_error {
 public:
  HttpError(int status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  int Status() const { return status_; }

 private:
  int status_;
};

}  // namespace zenu
