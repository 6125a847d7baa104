#include "tests/componentrig/ServiceRequests.h"

#include <httplib.h>
#include <iconv.h>

#include <cctype>

#include "tests/componentrig/RigBasics.h"

namespace {
const char* const kMarker = "5B1E09C4-73AF-4d2e-9C81-E2F04A6B1D37 OK";
const char* const kDigest = "0123456789abcdef0123456789abcdef";

std::string PercentEncode(const std::string& bytes) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (std::isalnum(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}
}  // namespace

namespace service {
bool Register(int port, const std::string& gbkUser) {
  httplib::Client client("127.0.0.1", port);
  const httplib::Params params{
      {"username", gbkUser}, {"md5_passwd", kDigest}, {"action", "add"}, {"iVersion", "172"}};
  auto res = client.Get("/urls/UserRegister", params, httplib::Headers{});
  return res && res->status == 200 && res->body == kMarker;
}

bool Rate(int port, const std::string& gbkUser, unsigned movie, int score, bool toAll,
          const std::string& utf8Comment) {
  httplib::Client client("127.0.0.1", port);
  // The name travels encoded twice: httplib adds the outer encoding.
  httplib::Params params{{"username", PercentEncode(gbkUser)},
                         {"eval", std::to_string(movie) + "," + std::to_string(score)},
                         {"iIsRmdAllFriend", toAll ? "1" : "0"}};
  if (!utf8Comment.empty()) params.emplace("utf8Comment", utf8Comment);
  auto res = client.Get("/urls/UserReportStatus", params, httplib::Headers{});
  return res && res->status == 200 && res->body == kMarker;
}

int Post(int port, const std::string& path,
         const std::vector<std::pair<std::string, std::string>>& form) {
  httplib::Client client("127.0.0.1", port);
  httplib::Params params;
  for (const auto& [k, v] : form) params.emplace(k, v);
  auto res = client.Post(path.c_str(), params);
  return res ? res->status : -1;
}

bool GetJson(int port, const std::string& path, Json::Value& out) {
  httplib::Client client("127.0.0.1", port);
  client.set_url_encode(false);
  auto res = client.Get(path.c_str());
  return res && res->status == 200 && ParseJson(res->body, out);
}
}  // namespace service

std::string Utf8ToGbk(const std::string& utf8) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* to = out.data();
  size_t outLeft = out.size();
  const size_t done = iconv(cd, &in, &inLeft, &to, &outLeft);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1)) return {};
  out.resize(out.size() - outLeft);
  return out;
}
