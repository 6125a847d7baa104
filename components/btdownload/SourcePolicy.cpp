#include "SourcePolicy.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <libtorrent/extensions.hpp>
#include <libtorrent/peer_connection_handle.hpp>
#include <sstream>
#include <stdexcept>

namespace {
std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// "[v6]:port" or "host:port"; the port is fallback when missing.
bool SplitHostPort(const std::string& text, int fallback, std::string& host, int& port) {
  std::string rest;
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos) return false;
    host = text.substr(1, close - 1);
    rest = text.substr(close + 1);
  } else {
    const size_t colon = text.rfind(':');
    host = text.substr(0, colon);
    rest = colon == std::string::npos ? std::string() : text.substr(colon);
  }
  port = fallback;
  if (!rest.empty()) {
    if (rest[0] != ':') return false;
    const auto res = std::from_chars(rest.data() + 1, rest.data() + rest.size(), port);
    if (res.ec != std::errc() || res.ptr != rest.data() + rest.size()) return false;
  }
  return !host.empty() && port > 0 && port <= 65535;
}

lt::address V4(const char* text) { return lt::make_address(text); }

class CWebSeedGuard final : public lt::torrent_plugin {
 public:
  CWebSeedGuard(const CSourcePolicy& policy, std::shared_ptr<CRefusedSources> refused)
      : m_policy(policy), m_refused(std::move(refused)) {}
  std::shared_ptr<lt::peer_plugin> new_connection(const lt::peer_connection_handle& pc) override {
    const bool web =
        pc.type() == lt::connection_type::url_seed || pc.type() == lt::connection_type::http_seed;
    if (web && !m_policy.AllowsEndpoint(pc.remote())) {
      std::ostringstream where;
      where << pc.remote();
      m_refused->Add(where.str());
      // The connection is never made.
      throw std::runtime_error("web seed refused");
    }
    return nullptr;
  }

 private:
  CSourcePolicy m_policy;
  std::shared_ptr<CRefusedSources> m_refused;
};
}  // namespace

bool IsLocalHost(const std::string& name) {
  std::string host = Lower(name);
  while (!host.empty() && host.back() == '.') host.pop_back();
  if (host == "localhost" ||
      (host.size() > 10 && host.compare(host.size() - 10, 10, ".localhost") == 0))
    return true;
  in_addr v4{};
  // inet_aton reads "127.1" and "2130706433" as the resolver does.
  if (::inet_aton(host.c_str(), &v4) != 0) {
    const std::uint32_t a = ntohl(v4.s_addr);
    return (a >> 24) == 127 || a == 0;
  }
  in6_addr v6{};
  if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
    if (IN6_IS_ADDR_LOOPBACK(&v6) || IN6_IS_ADDR_UNSPECIFIED(&v6)) return true;
    return IN6_IS_ADDR_V4MAPPED(&v6) &&
           (v6.s6_addr[12] == 127 || (v6.s6_addr[12] == 0 && v6.s6_addr[13] == 0 &&
                                      v6.s6_addr[14] == 0 && v6.s6_addr[15] == 0));
  }
  return false;
}

CSourcePolicy::CSourcePolicy(const std::string& service, const std::string& tracker) {
  std::string host;
  int port = 0;
  if (SplitHostPort(service, 0, host, port) && IsLocalHost(host)) {
    m_serviceLocal = true;
    m_serviceHost = Lower(host);
    m_servicePort = port;
  }
  if (SplitHostPort(tracker, 0, host, port) && IsLocalHost(host)) {
    m_trackerHost = Lower(host);
    m_trackerPort = port;
  }
}

bool CSourcePolicy::SplitUrl(const std::string& url, bool udp, std::string& host, int& port) {
  const std::string lower = Lower(url);
  int fallback = 0;
  size_t start = 0;
  if (lower.compare(0, 7, "http://") == 0) {
    fallback = 80;
    start = 7;
  } else if (lower.compare(0, 8, "https://") == 0) {
    fallback = 443;
    start = 8;
  } else if (udp && lower.compare(0, 6, "udp://") == 0) {
    start = 6;
  } else {
    return false;
  }
  size_t end = url.find_first_of("/?#", start);
  if (end == std::string::npos) end = url.size();
  std::string authority = url.substr(start, end - start);
  const size_t at = authority.rfind('@');
  if (at != std::string::npos) authority = authority.substr(at + 1);
  return SplitHostPort(authority, fallback, host, port);
}

bool CSourcePolicy::Allows(const std::string& url) const {
  std::string host;
  int port = 0;
  if (!SplitUrl(url, false, host, port)) return false;
  if (!IsLocalHost(host)) return true;
  return m_serviceLocal && port == m_servicePort;
}

bool CSourcePolicy::AllowsTracker(const std::string& url) const {
  std::string host;
  int port = 0;
  if (!SplitUrl(url, true, host, port)) return false;
  if (!IsLocalHost(host)) return true;
  if (!m_trackerHost.empty() && Lower(host) == m_trackerHost && port == m_trackerPort) return true;
  return m_serviceLocal && port == m_servicePort;
}

bool CSourcePolicy::AllowsEndpoint(const lt::tcp::endpoint& to) const {
  if (!IsLocalHost(to.address().to_string())) return true;
  return m_serviceLocal && to.port() == m_servicePort;
}

TorrentExtension CSourcePolicy::Guard(std::shared_ptr<CRefusedSources> refused) const {
  const CSourcePolicy policy = *this;
  return [policy, refused](const lt::torrent_handle&, lt::client_data_t) {
    return std::make_shared<CWebSeedGuard>(policy, refused);
  };
}

void CRefusedSources::Add(const std::string& where) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_first.empty()) m_first = where;
}

std::string CRefusedSources::First() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_first;
}

lt::ip_filter CSourcePolicy::Filter() const {
  lt::ip_filter filter;
  filter.add_rule(V4("127.0.0.0"), V4("127.255.255.255"), lt::ip_filter::blocked);
  filter.add_rule(V4("0.0.0.0"), V4("0.0.0.0"), lt::ip_filter::blocked);
  filter.add_rule(V4("::"), V4("::1"), lt::ip_filter::blocked);
  filter.add_rule(V4("::ffff:127.0.0.0"), V4("::ffff:127.255.255.255"), lt::ip_filter::blocked);
  // The service's and the trusted tracker's addresses stay open; which of
  // their ports a source may name is checked on the URL.
  for (const std::string* host : {&m_serviceHost, &m_trackerHost}) {
    if (host->empty()) continue;
    lt::error_code ec;
    const lt::address own = lt::make_address(*host, ec);
    if (!ec) {
      filter.add_rule(own, own, 0);
    } else {
      filter.add_rule(V4("127.0.0.1"), V4("127.0.0.1"), 0);
      filter.add_rule(V4("::1"), V4("::1"), 0);
    }
  }
  return filter;
}
