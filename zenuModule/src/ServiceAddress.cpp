#include "ServiceAddress.h"

#include <cstdlib>
#include <cstring>

#include "ProcessValues.h"
#include "StringHelpers.h"

namespace {
const char kBadAddress[] = "服务器地址应是主机名或IP地址，可带端口，例如 192.168.1.5:8088";
const char kBadPort[] = "服务器端口应是1到65535之间的数字";
constexpr size_t kMaxHostLength = 253;

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

bool IsHostName(const CString& host) {
  if (host.empty() || host.size() > kMaxHostLength) return false;
  if (host.front() == '-' || host.front() == '.' || host.back() == '-') return false;
  if (host.find("..") != CString::npos) return false;
  for (char c : host)
    if (!IsNameChar(c)) return false;
  return true;
}

// "[...]" holding only what an IPv6 address (with a zone-less form) may hold.
bool IsBracketedV6(const CString& host) {
  if (host.size() < 4 || host.front() != '[' || host.back() != ']') return false;
  int colons = 0;
  for (size_t i = 1; i + 1 < host.size(); ++i) {
    const char c = host[i];
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (c == ':') ++colons;
    if (!hex && c != ':' && c != '.') return false;
  }
  return colons >= 2;
}

bool ParsePort(const CString& text, int* port) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const int value = std::atoi(text.c_str());
  if (value < 1 || value > 65535) return false;
  *port = value;
  return true;
}
}  // namespace

bool ParseServiceAddress(const CString& text, SServiceAddress* out, CString* error) {
  CString rest = TrimWhite(text);
  auto fail = [error](const char* why) {
    if (error) *error = why;
    return false;
  };
  if (rest.empty()) return fail("请填写服务器地址");
  // The one place a scheme is read.
  bool bTls = false;
  const size_t scheme = rest.find("://");
  if (scheme != CString::npos) {
    CString name = rest.substr(0, scheme);
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (name != "http" && name != "https") return fail("服务器地址只支持http和https");
    bTls = name == "https";
    rest = rest.substr(scheme + 3);
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
  }
  SServiceAddress addr;
  addr.bTls = bTls;
  CString portText;
  bool bHasPort = false;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == CString::npos) return fail(kBadAddress);
    addr.strHost = rest.substr(0, close + 1);
    const CString tail = rest.substr(close + 1);
    if (!tail.empty()) {
      if (tail.front() != ':') return fail(kBadAddress);
      portText = tail.substr(1);
      bHasPort = true;
    }
    if (!IsBracketedV6(addr.strHost)) return fail(kBadAddress);
  } else {
    const size_t colon = rest.find(':');
    addr.strHost = rest.substr(0, colon);
    if (colon != CString::npos) {
      portText = rest.substr(colon + 1);
      bHasPort = true;
    }
    if (!IsHostName(addr.strHost)) return fail(kBadAddress);
  }
  if (bHasPort && !ParsePort(portText, &addr.iPort)) return fail(kBadPort);
  if (out) *out = addr;
  return true;
}

CString FormatServiceAddress(const CString& host, int port, bool bTls) {
  const CString prefix = bTls ? "https://" : "";
  if (port == DefaultServicePort(bTls)) return prefix + host;
  return StringFormat("%s%s:%d", prefix.c_str(), host.c_str(), port);
}

int DefaultServicePort(bool bTls) {
  return bTls ? kDefaultTlsServicePort : kDefaultRemoteServicePort;
}

bool IsLoopbackHost(const CString& host) {
  CString h;
  for (char c : host) h += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  while (!h.empty() && h.back() == '.') h.pop_back();
  if (h == "localhost" || (h.size() > 10 && h.compare(h.size() - 10, 10, ".localhost") == 0))
    return true;
  if (h == "[::1]" || h == "::1") return true;
  return h.compare(0, 4, "127.") == 0 && h.find_first_not_of("0123456789.") == CString::npos;
}
