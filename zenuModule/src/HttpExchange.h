#pragma once
#include <curl/curl.h>

#include <string>

#include "Types.h"

// What the owner of an exchange hears while it runs (on the exchange's thread).
// Returning false from any of them ends the transfer at once.
class IHttpExchangeSink {
 public:
  virtual ~IHttpExchangeSink() = default;
  // The final response head has arrived; contentLength is the header's text ("" when absent).
  virtual bool OnResponse(long status, const CString& contentLength) = 0;
  // wireBytes: body bytes received so far as sent (before any decoding), which is
  // what Content-Length counts.
  virtual bool OnBody(const char* data, size_t size, long long wireBytes) = 0;
  // Called now and then, also while nothing arrives.
  virtual bool OnIdle() = 0;
};

struct SHttpExchangeResult {
  CURLcode code = CURLE_OK;
  CString strMessage;           // curl's message when code is not CURLE_OK
  bool bStoppedBySink = false;  // a sink callback answered false
  bool bTooLarge = false;       // the head or the decoded body passed its cap
  bool bGotResponse = false;    // OnResponse was called
  long lStatus = 0;
  CString strContentLength;
};

// Where certificates of authorities come from when the environment says so:
// CURL_CA_BUNDLE, else SSL_CERT_FILE; SSL_CERT_DIR. Empty: the system's store.
struct SCaStore {
  std::string strFile;
  std::string strDir;
};
SCaStore CaStoreFromEnvironment();

// One HTTP GET with the engine's fixed headers on its own easy handle: http or https
// (certificate and host name verified),
// no redirects, proxy from the environment, and a bounded stall.
class CHttpExchange final {
 public:
  // Splits an http or https URL; false for other schemes and for text that is no URL.
  static bool IsHttpUrl(const CString& url);
  // Seconds a transfer may go without a byte (also the connect limit).
  static long GetStallSeconds();
  // Caps of what a server may make us hold: well above any real document or
  // torrent, far below what a decompression bomb would grow to.
  static constexpr size_t kMaxHeadBytes = 64 * 1024;
  static constexpr long long kMaxBodyBytes = 16LL * 1024 * 1024;
  static void SetStallSeconds(long seconds);

  static SHttpExchangeResult Perform(const CString& url, IHttpExchangeSink& sink);
};
