#pragma once

#include <httplib.h>

#include <memory>
#include <thread>

#include "ApiRoutes.h"
#include "ClientRoutes.h"
#include "GuardedHttpServer.h"
#include "ServiceContext.h"

namespace zenu {

// Opens the store (creating the demo catalogue on first start), loads the ratings into the
// model, and serves the client routes and the JSON API.
class ZenuService final {
 public:
  explicit ZenuService(ServiceConfig config);  // throws std::runtime_error
  ~ZenuService();
  ZenuService(const ZenuService&) = delete;
  ZenuService& operator=(const ZenuService&) = delete;

  // Binds the listening socket; returns the port (useful with port 0).
  int Bind();
  // Serves until Stop(); Bind() first.
  void Run();
  // Bind() and Run() on a thread of its own.
  int Start();
  void Stop();

  int Port() const { return port_; }
  ServiceContext& Context() { return ctx_; }

 private:
  void OpenData();
  void SetUpServer();

  ServiceContext ctx_;
  std::unique_ptr<CGuardedHttpServer> server_;
  ClientRoutes clientRoutes_;
  ApiRoutes apiRoutes_;
  std::thread thread_;
  int port_ = -1;
};

}  // namespace zenu
