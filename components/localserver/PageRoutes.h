#pragma once
#include <memory>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib
class CComponentSession;
class COrvexClient;
class CApiRoutes;

// The browser side of the component: the guard in front of every request, the
// root folder's pages with this run's token put in, the movie bulletin page
// "/Bulletin?strAction=View&iMovieID=<id>" and the JSON actions under /api/.
class CPageRoutes final {
 public:
  CPageRoutes(CComponentSession& session, COrvexClient& client);
  ~CPageRoutes();
  CPageRoutes(const CPageRoutes&) = delete;
  CPageRoutes& operator=(const CPageRoutes&) = delete;

  // Installs everything on a server about to start.
  void Install(httplib::Server& server);
  const std::string& Secret() const { return m_secret; }

 private:
  void Bulletin(const httplib::Request& req, httplib::Response& res);

  CComponentSession& m_session;
  const std::string m_secret;
  std::unique_ptr<CApiRoutes> m_api;
};
