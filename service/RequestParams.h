#pragma once

#include <httplib.h>
#include <json/value.h>

#include <optional>
#include <string>

namespace zenu {

// Parameter checks shared by the routes; each failure is an HttpError 400 naming the parameter.
class RequestParams final {
 public:
  explicit RequestParams(const httplib::Request& req) : req_(req) {}

  std::string Required(const char* name) const;
  std::optional<std::string> Optional(const char* name) const;
  long long Int(const char* name, long long min, long long max) const;
  long long IntOr(const char* name, long long fallback, long long min, long long max) const;
  // A path capture such as the id in /bulletin/12.html.
  static uint32_t MovieId(const httplib::Request& req, size_t match);
  static long long ParseInt(const std::string& text, const std::string& what, long long min,
                            long long max);

 private:
  const httplib::Request& req_;
};

class JsonReply final {
 public:
  static void Send(httplib::Response& res, const Json::Value& body, int status = 200);
  static std::string Write(const Json::Value& body);
};

}  // namespace zenu
