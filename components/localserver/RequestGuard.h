#pragma once
#include <string>

namespace httplib {
struct Request;
}

// Who may talk to the loopback server. Every local process and, through the
// browser, every web site can reach 127.0.0.1; these checks keep the pages and
// their actions to the pages this component served itself.
struct SGuardVerdict {
  bool bAllowed = true;
  int iStatus = 200;     // the status to answer with when refused
  std::string strCode;   // short stable reason: "bad_host", "cross_origin", ...
  std::string strReason; // text for the answer body
  static SGuardVerdict Refuse(int status, std::string code, std::string reason) {
    return SGuardVerdict{false, status, std::move(code), std::move(reason)};
  }
};

// True for "127.0.0.1:<port>" and "localhost:<port>" (case of the name
// ignored). Any other Host is a DNS-rebinding attempt or a foreign name.
bool IsLoopbackHost(const std::string& host, int port);

// "http://127.0.0.1:<port>" or "http://localhost:<port>".
bool IsOwnOrigin(const std::string& origin, int port);

// Host and origin only: for requests with fixed URLs that carry no secret (the
// client's own task request, the pages). A request without Origin,
// Sec-Fetch-Site and Referer (a program rather than a browser) passes; a
// browser request passes only when it comes from our own pages or from the
// user (address bar, the client's own view). port = the port the request
// arrived on (Request::local_port when 0 or less).
SGuardVerdict CheckHostAndOrigin(const httplib::Request& req, int port = 0);

// Actions from our pages: Host and origin as above, POST only, a JSON body,
// and the per-run secret in the "X-Vadeko-Token" header.
SGuardVerdict CheckPageAction(const httplib::Request& req, const std::string& secret,
                              int port = 0);

// 32 random hexadecimal characters from the system's random source.
std::string MakeRunSecret();

// Compares without leaking how long the common prefix is.
bool SecretEquals(const std::string& a, const std::string& b);

constexpr const char* kTokenHeader = "X-Vadeko-Token";
