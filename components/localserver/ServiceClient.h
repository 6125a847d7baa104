#pragma once
#include <json/value.h>

#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// What the remote service said, or why it could not be asked.
struct SServiceReply {
  bool bReached = false;  // an HTTP answer came back
  int iStatus = 0;
  std::string strBody;
  std::string strError;  // transport failure, or the service's own error text
  bool Ok() const { return bReached && iStatus == 200; }
};

using ServiceParams = std::vector<std::pair<std::string, std::string>>;

// Requests to the remote service's JSON API and pages, over http or https. Safe to use from any
// thread; every call opens its own connection with bounded time and bounded
// size (head and body as sent; nothing is decoded), so a service that hangs or
// floods cannot hold a page or a task request for long, nor fill the memory.
class CServiceClient final {
 public:
  CServiceClient();
  // bTls: https, with the certificate and host name verified.
  void SetAddress(const std::string& host, int port, bool bTls = false);
  std::string Host() const;
  int Port() const;
  bool Tls() const;
  // "http://host:port" (or https) of the service.
  std::string BaseUrl() const;

  SServiceReply Get(const std::string& path, const ServiceParams& params = {}) const;
  // Form-encoded body.
  SServiceReply Post(const std::string& path, const ServiceParams& params) const;

  // A JSON object from a reply; on failure error says why (the service's
  // {"error": ...} text when it sent one).
  static bool ParseObject(const SServiceReply& reply, Json::Value& out, std::string& error);

  // Ends every request under way and refuses later ones: the process is stopping.
  void CutOff();

  // Bounds of every request: seconds, and bytes of the answer.
  static constexpr int kConnectTimeout = 5;
  static constexpr int kReadTimeout = 30;
  static constexpr size_t kMaxHeadBytes = 64 * 1024;
  static constexpr size_t kMaxBodyBytes = 8 * 1024 * 1024;

 private:
  SServiceReply Send(bool bPost, const std::string& path, const ServiceParams& params) const;

  mutable std::mutex m_mutex;
  std::string m_host;
  int m_port = 0;
  bool m_bTls = false;
  std::atomic<bool> m_bCut{false};
};
