#pragma once

#include <httplib.h>

#include "ServiceContext.h"

namespace zenu {

// What the client itself fetches: login, registration, rating report, update description,
// and the bulletin pages, torrents and web-seed content behind the URLs of its records.
class ClientRoutes final {
 public:
  static constexpr const char* kMarker = "5B1E09C4-73AF-4d2e-9C81-E2F04A6B1D37 OK";

  explicit ClientRoutes(ServiceContext& context) : ctx_(context) {}
  void Register(httplib::Server& server);

 private:
  void Login(const httplib::Request& req, httplib::Response& res);
  void UserRegister(const httplib::Request& req, httplib::Response& res);
  void ReportStatus(const httplib::Request& req, httplib::Response& res);
  void UpdateIni(const httplib::Request& req, httplib::Response& res);
  void Bulletin(const httplib::Request& req, httplib::Response& res);
  void Torrent(const httplib::Request& req, httplib::Response& res);
  void Content(const httplib::Request& req, httplib::Response& res);
  void Poster(const httplib::Request& req, httplib::Response& res);

  ServiceContext& ctx_;
};

}  // namespace zenu
