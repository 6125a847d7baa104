#pragma once

#include <httplib.h>
#include <json/value.h>

#include "ServiceContext.h"

namespace zenu {

// The JSON API used by the local web server component (see API.md). User names are UTF-8
// here and GBK in the store.
class ApiRoutes final {
 public:
  explicit ApiRoutes(ServiceContext& context) : ctx_(context) {}
  void Register(httplib::Server& server);

 private:
  UserRecord UserParam(const httplib::Request& req, const char* name) const;
  Json::Value Settings(const UserRecord& user) const;
  Json::Value UserSummary(const UserRecord& user) const;

  void Status(const httplib::Request& req, httplib::Response& res);
  void Task(const httplib::Request& req, httplib::Response& res);
  void MovieDetails(const httplib::Request& req, httplib::Response& res);
  void Kinds(const httplib::Request& req, httplib::Response& res);
  void Search(const httplib::Request& req, httplib::Response& res);
  void PushNow(const httplib::Request& req, httplib::Response& res);
  void GetSettings(const httplib::Request& req, httplib::Response& res);
  void SetKinds(const httplib::Request& req, httplib::Response& res);
  void SetPushMethod(const httplib::Request& req, httplib::Response& res);
  void FindUsers(const httplib::Request& req, httplib::Response& res);
  void Follow(const httplib::Request& req, httplib::Response& res, bool follow);
  void Friends(const httplib::Request& req, httplib::Response& res);
  void Recommendations(const httplib::Request& req, httplib::Response& res);
  void PushReason(const httplib::Request& req, httplib::Response& res);
  void Dismiss(const httplib::Request& req, httplib::Response& res);

  ServiceContext& ctx_;
};

}  // namespace zenu
