#include "HttpExchange.h"

#include <strings.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

#include "HttpErrorText.h"

namespace {
std::atomic<long> g_stallSeconds{30};

// Large pieces keep a fast loopback transfer from being dominated by per-piece work.
constexpr long kReceiveBufferSize = 512 * 1024;

const char* const kHeaders[] = {"Accept: */*", "Accept-Language: zh-cn",
                                "Accept-Encoding: gzip, deflate", "User-Agent: zenu",
                                "Connection: Keep-Alive"};

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct SCurlDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};

using CClock = std::chrono::steady_clock;

struct SContext {
  CURL* handle = nullptr;
  CClock::time_point lastByte = CClock::now();
  long stallSeconds = 30;
  bool stalled = false;
  // An error thrown by the sink waits here: it must not cross curl's C frames.
  std::exception_ptr pending;
  IHttpExchangeSink* sink = nullptr;
  SHttpExchangeResult* result = nullptr;
  CString contentLength;
  size_t headBytes = 0;
  long long bodyBytes = 0;
};

template <class F>
bool Guarded(SContext* ctx, F&& call) {
  try {
    return call();
  } catch (...) {
    ctx->pending = std::current_exception();
    return false;
  }
}

CString TrimHeaderValue(const char* begin, const char* end) {
  while (begin < end && (*begin == ' ' || *begin == '\t')) ++begin;
  while (end > begin && (end[-1] == '\r' || end[-1] == '\n' || end[-1] == ' ' || end[-1] == '\t'))
    --end;
  return CString(begin, end);
}

size_t OnHeaderLine(char* data, size_t size, size_t count, void* user) {
  auto* ctx = static_cast<SContext*>(user);
  ctx->lastByte = CClock::now();
  const size_t n = size * count;
  const char* end = data + n;
  ctx->headBytes += n;
  if (ctx->headBytes > CHttpExchange::kMaxHeadBytes) {
    ctx->result->bTooLarge = true;
    return 0;
  }
  static const char kLengthName[] = "Content-Length:";
  constexpr size_t kLengthNameSize = sizeof kLengthName - 1;
  if (n >= 5 && std::equal(data, data + 5, "HTTP/")) {
    ctx->contentLength.clear();
  } else if (n >= kLengthNameSize && ::strncasecmp(data, kLengthName, kLengthNameSize) == 0) {
    ctx->contentLength = TrimHeaderValue(data + kLengthNameSize, end);
  } else if ((n == 2 && data[0] == '\r' && data[1] == '\n') || (n == 1 && data[0] == '\n')) {
    long status = 0;
    curl_easy_getinfo(ctx->handle, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 200 && !ctx->result->bGotResponse) {
      ctx->result->bGotResponse = true;
      ctx->result->lStatus = status;
      ctx->result->strContentLength = ctx->contentLength;
      if (!Guarded(ctx, [&] { return ctx->sink->OnResponse(status, ctx->contentLength); })) {
        ctx->result->bStoppedBySink = true;
        return 0;
      }
    }
  }
  return n;
}

size_t OnBodyPiece(char* data, size_t size, size_t count, void* user) {
  auto* ctx = static_cast<SContext*>(user);
  ctx->lastByte = CClock::now();
  const size_t n = size * count;
  ctx->bodyBytes += static_cast<long long>(n);
  if (ctx->bodyBytes > CHttpExchange::kMaxBodyBytes) {
    ctx->result->bTooLarge = true;
    return CURL_WRITEFUNC_ERROR;
  }
  curl_off_t wire = 0;
  curl_easy_getinfo(ctx->handle, CURLINFO_SIZE_DOWNLOAD_T, &wire);
  if (!Guarded(ctx, [&] { return ctx->sink->OnBody(data, n, static_cast<long long>(wire)); })) {
    ctx->result->bStoppedBySink = true;
    return CURL_WRITEFUNC_ERROR;
  }
  return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* ctx = static_cast<SContext*>(user);
  // curl's own low-speed check averages over several seconds, so a burst just
  // before a stall would stretch the bound; this one counts from the last byte.
  if (CClock::now() - ctx->lastByte >= std::chrono::seconds(ctx->stallSeconds)) {
    ctx->stalled = true;
    return 1;
  }
  if (!Guarded(ctx, [&] { return ctx->sink->OnIdle(); })) {
    ctx->result->bStoppedBySink = true;
    return 1;
  }
  return 0;
}
}  // namespace

bool CHttpExchange::IsHttpUrl(const CString& url) {
  GlobalInit();
  std::unique_ptr<CURLU, SCurlDeleter> parts(curl_url());
  if (!parts || curl_url_set(parts.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
  char* scheme = nullptr;
  char* host = nullptr;
  const bool ok = curl_url_get(parts.get(), CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
                  curl_url_get(parts.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK;
  const bool http = ok &&
                    (::strcasecmp(scheme, "http") == 0 || ::strcasecmp(scheme, "https") == 0) &&
                    host && *host;
  curl_free(scheme);
  curl_free(host);
  return http;
}

SCaStore CaStoreFromEnvironment() {
  SCaStore store;
  for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      store.strFile = value;
      break;
    }
  }
  if (const char* dir = std::getenv("SSL_CERT_DIR"); dir && *dir) store.strDir = dir;
  return store;
}

long CHttpExchange::GetStallSeconds() { return g_stallSeconds; }

void CHttpExchange::SetStallSeconds(long seconds) { g_stallSeconds = seconds < 1 ? 1 : seconds; }

SHttpExchangeResult CHttpExchange::Perform(const CString& url, IHttpExchangeSink& sink) {
  GlobalInit();
  SHttpExchangeResult result;
  // Declared first so that the list outlives the handle that points to it.
  std::unique_ptr<curl_slist, SCurlDeleter> headers;
  std::unique_ptr<CURL, SCurlDeleter> handle(curl_easy_init());
  if (!handle) {
    result.code = CURLE_FAILED_INIT;
    result.strMessage = curl_easy_strerror(result.code);
    return result;
  }
  for (const char* line : kHeaders) {
    curl_slist* grown = curl_slist_append(headers.get(), line);
    if (!grown) {
      result.code = CURLE_OUT_OF_MEMORY;
      result.strMessage = curl_easy_strerror(result.code);
      return result;
    }
    headers.release();
    headers.reset(grown);
  }
  SContext ctx;
  ctx.handle = handle.get();
  ctx.sink = &sink;
  ctx.result = &result;
  char errorText[CURL_ERROR_SIZE] = {0};
  const long stall = g_stallSeconds;
  ctx.stallSeconds = stall;
  CURL* h = handle.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  // Certificate and host name always checked, against the system's store or
  // the one the environment names.
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  const SCaStore store = CaStoreFromEnvironment();
  if (!store.strFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, store.strFile.c_str());
  if (!store.strDir.empty()) curl_easy_setopt(h, CURLOPT_CAPATH, store.strDir.c_str());
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  // Servers do compress for the Accept-Encoding the engine must send; decoding keeps
  // the body what the caller expects. The header line itself stays the listed one.
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, stall);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, stall);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &OnHeaderLine);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &ctx);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBodyPiece);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &ctx);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &ctx);
  ctx.lastByte = CClock::now();
  result.code = curl_easy_perform(h);
  if (ctx.pending) {
    handle.reset();
    std::rethrow_exception(ctx.pending);
  }
  if (ctx.stalled) {
    result.code = CURLE_OPERATION_TIMEDOUT;
    result.strMessage = "No data received for " + std::to_string(stall) + " seconds";
  } else if (result.code != CURLE_OK) {
    result.strMessage = *errorText ? errorText : curl_easy_strerror(result.code);
  }
  if (result.code != CURLE_OK) {
    // A server that could not be reached is named, with the reason, in the
    // user's language.
    long osErrno = 0;
    curl_off_t connectTime = 0;
    curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &osErrno);
    curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connectTime);
    long verifyResult = 0;
    curl_easy_getinfo(h, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
    CString text =
        UnreachableServerText(url, result.code, osErrno, connectTime > 0 || result.bGotResponse);
    if (text.empty()) text = TlsFailureText(url, result.code, verifyResult, result.strMessage);
    if (!text.empty()) result.strMessage = text;
  }
  return result;
}
