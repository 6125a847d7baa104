#include "RequestGuard.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <random>

namespace {
std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

int PortOf(const httplib::Request& req, int port) { return port > 0 ? port : req.local_port; }

// Referer is an origin followed by a path; only its origin part counts.
std::string OriginOfUrl(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  const size_t slash = url.find_first_of("/?#", scheme + 3);
  return slash == std::string::npos ? url : url.substr(0, slash);
}
}  // namespace

bool IsLoopbackHost(const std::string& host, int port) {
  const std::string suffix = ":" + std::to_string(port);
  const std::string lower = Lower(host);
  return lower == "127.0.0.1" + suffix || lower == "localhost" + suffix;
}

bool IsOwnOrigin(const std::string& origin, int port) {
  const std::string lower = Lower(origin);
  const std::string prefix = "http://";
  return lower.compare(0, prefix.size(), prefix) == 0 &&
         IsLoopbackHost(lower.substr(prefix.size()), port);
}

SGuardVerdict CheckHostAndOrigin(const httplib::Request& req, int port) {
  port = PortOf(req, port);
  // Exactly one Host: a second one could disagree with what the browser meant.
  if (req.get_header_value_count("Host") != 1 ||
      !IsLoopbackHost(req.get_header_value("Host"), port)) {
    return SGuardVerdict::Refuse(403, "bad_host", "request for another host");
  }
  if (req.has_header("Origin") && !IsOwnOrigin(req.get_header_value("Origin"), port)) {
    return SGuardVerdict::Refuse(403, "cross_origin", "request from another origin");
  }
  if (req.has_header("Sec-Fetch-Site")) {
    const std::string site = Lower(req.get_header_value("Sec-Fetch-Site"));
    // "same-site" would let another port of localhost in.
    if (site != "same-origin" && site != "none") {
      return SGuardVerdict::Refuse(403, "cross_origin", "request from another site");
    }
  }
  if (req.has_header("Referer") &&
      !IsOwnOrigin(OriginOfUrl(req.get_header_value("Referer")), port)) {
    return SGuardVerdict::Refuse(403, "cross_origin", "request from another page");
  }
  return {};
}

SGuardVerdict CheckPageAction(const httplib::Request& req, const std::string& secret, int port) {
  SGuardVerdict verdict = CheckHostAndOrigin(req, port);
  if (!verdict.bAllowed) return verdict;
  if (req.method != "POST") {
    return SGuardVerdict::Refuse(405, "method", "actions are POST requests");
  }
  const std::string type = Lower(req.get_header_value("Content-Type"));
  if (type.compare(0, 16, "application/json") != 0) {
    return SGuardVerdict::Refuse(415, "content_type", "actions carry a JSON body");
  }
  if (secret.empty() || !SecretEquals(req.get_header_value(kTokenHeader), secret)) {
    return SGuardVerdict::Refuse(403, "bad_token", "missing or wrong page token");
  }
  return {};
}

std::string MakeRunSecret() {
  std::random_device source;
  std::uniform_int_distribution<int> digit(0, 15);
  static const char kHex[] = "0123456789abcdef";
  std::string secret;
  for (int i = 0; i < 32; ++i) secret += kHex[digit(source)];
  return secret;
}

bool SecretEquals(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return diff == 0;
}
