#include "HttpErrorText.h"

#include <curl/curl.h>

#include <cerrno>

#include "StringHelpers.h"

namespace {
const char kUnreachable[] = "无法连接服务器";
const char kUnverified[] = "证书无法验证：";
const char kNoTls[] = "无法建立加密连接";

// X509_V_ERR_* values, stable across OpenSSL releases.
const char* CertificateReason(long verifyResult) {
  switch (verifyResult) {
    case 0:
    case 62:  // host name mismatch
    case 64:  // IP address mismatch
      return "证书不属于这个地址";
    case 9:
      return "证书尚未生效";
    case 10:
      return "证书已过期";
    case 18:
    case 19:
      return "证书是自签名的，不受信任";
    case 2:
    case 20:
    case 21:
      return "证书的颁发机构不受信任";
    default:
      return nullptr;
  }
}

const char* Reason(int curlCode, long osErrno, bool bConnected) {
  switch (curlCode) {
    case CURLE_COULDNT_RESOLVE_HOST:
      return "找不到该主机名";
    case CURLE_COULDNT_CONNECT:
      switch (osErrno) {
        case ECONNREFUSED:
          return "连接被拒绝";
        case EHOSTUNREACH:
          return "没有到该主机的路由";
        case ENETUNREACH:
          return "网络不可达";
        case ETIMEDOUT:
          return "连接超时";
        default:
          return "无法建立连接";
      }
    case CURLE_OPERATION_TIMEDOUT:
      return bConnected ? nullptr : "连接超时";
    default:
      return nullptr;
  }
}

// "host:port" as the URL names them, the scheme's port when it names none.
CString HostAndPort(const CString& url) {
  CString out;
  CURLU* u = curl_url();
  if (!u) return out;
  char* host = nullptr;
  char* port = nullptr;
  if (curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
      curl_url_get(u, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
    out = StringFormat("%s:%s", host, port);
  }
  curl_free(host);
  curl_free(port);
  curl_url_cleanup(u);
  return out;
}
}  // namespace

CString UnreachableServerText(const CString& url, int curlCode, long osErrno, bool bConnected) {
  const char* reason = Reason(curlCode, osErrno, bConnected);
  if (!reason) return CString();
  return StringFormat("%s %s：%s", kUnreachable, HostAndPort(url).c_str(), reason);
}

CString TlsFailureText(const CString& url, int curlCode, long verifyResult,
                       const CString& message) {
  if (curlCode == CURLE_PEER_FAILED_VERIFICATION) {
    const char* reason = CertificateReason(verifyResult);
    // curl checks the name itself, after OpenSSL has accepted the chain.
    if (message.find("subject name") != CString::npos || message.find("host name") != CString::npos)
      reason = CertificateReason(0);
    return StringFormat("%s%s：%s", kUnverified, HostAndPort(url).c_str(),
                        reason ? reason : message.c_str());
  }
  if (curlCode == CURLE_SSL_CONNECT_ERROR)
    return StringFormat("%s %s：%s", kNoTls, HostAndPort(url).c_str(), message.c_str());
  return CString();
}

CString HttpErrorForUser(const CString& engineError) {
  for (const char* known : {kUnreachable, kUnverified, kNoTls}) {
    const size_t at = engineError.find(known);
    if (at != CString::npos) return engineError.substr(at);
  }
  return CString("网络错误");
}
