#include "ServiceClient.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>

#include "JsonText.h"

namespace {
struct SCurlDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};

struct STransfer {
  std::string strBody;
  size_t nHeadBytes = 0;
  bool bTooLarge = false;
  const std::atomic<bool>* pCut = nullptr;
};

size_t OnHeader(char* /*data*/, size_t size, size_t count, void* user) {
  auto* t = static_cast<STransfer*>(user);
  t->nHeadBytes += size * count;
  if (t->nHeadBytes > CServiceClient::kMaxHeadBytes) {
    t->bTooLarge = true;
    return 0;
  }
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<STransfer*>(user);
  const size_t n = size * count;
  if (t->strBody.size() + n > CServiceClient::kMaxBodyBytes) {
    t->bTooLarge = true;
    return CURL_WRITEFUNC_ERROR;
  }
  t->strBody.append(data, n);
  return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<STransfer*>(user)->pCut->load() ? 1 : 0;
}

std::string Encoded(CURL* h, const ServiceParams& params) {
  std::string out;
  for (const auto& [key, value] : params) {
    char* k = curl_easy_escape(h, key.c_str(), static_cast<int>(key.size()));
    char* v = curl_easy_escape(h, value.c_str(), static_cast<int>(value.size()));
    if (!out.empty()) out += '&';
    out += std::string(k ? k : "") + "=" + (v ? v : "");
    curl_free(k);
    curl_free(v);
  }
  return out;
}
}  // namespace

CServiceClient::CServiceClient() { curl_global_init(CURL_GLOBAL_DEFAULT); }

void CServiceClient::SetAddress(const std::string& host, int port, bool bTls) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_host = host;
  m_port = port;
  m_bTls = bTls;
}

bool CServiceClient::Tls() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_bTls;
}

std::string CServiceClient::Host() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_host;
}

int CServiceClient::Port() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_port;
}

std::string CServiceClient::BaseUrl() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return (m_bTls ? "https://" : "http://") + m_host + ":" + std::to_string(m_port);
}

void CServiceClient::CutOff() { m_bCut = true; }

SServiceReply CServiceClient::Send(bool bPost, const std::string& path,
                                   const ServiceParams& params) const {
  SServiceReply reply;
  std::string host;
  int port = 0;
  bool bTls = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    host = m_host;
    port = m_port;
    bTls = m_bTls;
  }
  if (host.empty() || port <= 0) {
    reply.strError = "no remote service address";
    return reply;
  }
  if (m_bCut) {
    reply.strError = "the local server is stopping";
    return reply;
  }
  std::unique_ptr<CURL, SCurlDeleter> handle(curl_easy_init());
  if (!handle) {
    reply.strError = curl_easy_strerror(CURLE_FAILED_INIT);
    return reply;
  }
  CURL* h = handle.get();
  const std::string query = Encoded(h, params);
  std::string url = (bTls ? "https://" : "http://") + host + ":" + std::to_string(port) + path;
  if (!bPost && !query.empty()) url += "?" + query;
  STransfer transfer;
  transfer.pCut = &m_bCut;
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  // Never the other scheme: an https service is not asked in the clear.
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, bTls ? "https" : "http");
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  const char* caFile = std::getenv("CURL_CA_BUNDLE");
  if (!caFile || !*caFile) caFile = std::getenv("SSL_CERT_FILE");
  if (caFile && *caFile) curl_easy_setopt(h, CURLOPT_CAINFO, caFile);
  if (const char* caDir = std::getenv("SSL_CERT_DIR"); caDir && *caDir)
    curl_easy_setopt(h, CURLOPT_CAPATH, caDir);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
  // No Accept-Encoding: the body is read as sent, so its cap is what it costs.
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(kConnectTimeout));
  curl_easy_setopt(h, CURLOPT_TIMEOUT, static_cast<long>(kReadTimeout));
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodyBytes));
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
  if (bPost) {
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(query.size()));
    curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, query.c_str());
  }
  const CURLcode code = curl_easy_perform(h);
  if (transfer.bTooLarge || code == CURLE_FILESIZE_EXCEEDED) {
    reply.strError = "answer from the service too large";
    return reply;
  }
  if (code != CURLE_OK) {
    reply.strError = m_bCut ? "the local server is stopping" : curl_easy_strerror(code);
    if (!m_bCut && (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CONNECT_ERROR))
      reply.strError += " (" + url.substr(0, url.find('/', url.find("://") + 3)) + ")";
    return reply;
  }
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  reply.bReached = true;
  reply.iStatus = static_cast<int>(status);
  reply.strBody = std::move(transfer.strBody);
  if (status != 200) reply.strError = "status " + std::to_string(status);
  return reply;
}

SServiceReply CServiceClient::Get(const std::string& path, const ServiceParams& params) const {
  return Send(false, path, params);
}

SServiceReply CServiceClient::Post(const std::string& path, const ServiceParams& params) const {
  return Send(true, path, params);
}

bool CServiceClient::ParseObject(const SServiceReply& reply, Json::Value& out, std::string& error) {
  if (!reply.bReached) {
    error = reply.strError;
    return false;
  }
  Json::Value root;
  if (!ParseJsonObject(reply.strBody, root)) {
    error = reply.iStatus == 200 ? "malformed answer from the service"
                                 : "status " + std::to_string(reply.iStatus);
    return false;
  }
  if (reply.iStatus != 200) {
    const Json::Value& message = root["error"];
    error = message.isString() ? message.asString() : "status " + std::to_string(reply.iStatus);
    return false;
  }
  out = std::move(root);
  return true;
}
