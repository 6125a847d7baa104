#pragma once
#include <json/value.h>

#include <string>
#include <utility>
#include <vector>

// Client-side requests to the reference service on 127.0.0.1:port. User
// names travel as GBK bytes.
namespace service {
bool Register(int port, const std::string& gbkUser);
// An empty comment is left out of the request.
bool Rate(int port, const std::string& gbkUser, unsigned movie, int score, bool toAll,
          const std::string& utf8Comment = {});
// POST to the JSON API; the status code.
int Post(int port, const std::string& path,
         const std::vector<std::pair<std::string, std::string>>& form);
// GET of a path sent as given (no further encoding); false unless 200 and JSON.
bool GetJson(int port, const std::string& path, Json::Value& out);
}  // namespace service

// Empty when the text cannot be converted.
std::string Utf8ToGbk(const std::string& utf8);
