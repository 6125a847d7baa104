#include "ServiceClient.h"

#include <httplib.h>

#include <memory>

#include "JsonText.h"

namespace {
httplib::Params ToParams(const ServiceParams& params) {
  httplib::Params out;
  for (const auto& [key, value] : params) out.emplace(key, value);
  return out;
}

SServiceReply FromResult(const httplib::Result& result) {
  SServiceReply reply;
  if (!result) {
    reply.strError = httplib::to_string(result.error());
    return reply;
  }
  reply.bReached = true;
  reply.iStatus = result->status;
  reply.strBody = result->body;
  if (result->status != 200) reply.strError = "status " + std::to_string(result->status);
  return reply;
}

std::unique_ptr<httplib::Client> MakeClient(const std::string& host, int port) {
  auto client = std::make_unique<httplib::Client>(host, port);
  client->set_connection_timeout(CServiceClient::kConnectTimeout, 0);
  client->set_read_timeout(CServiceClient::kReadTimeout, 0);
  client->set_write_timeout(CServiceClient::kReadTimeout, 0);
  client->set_keep_alive(false);
  return client;
}
}  // namespace

void CServiceClient::SetAddress(const std::string& host, int port) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_host = host;
  m_port = port;
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
  return "http://" + m_host + ":" + std::to_string(m_port);
}

SServiceReply CServiceClient::Send(bool bPost, const std::string& path,
                                   const ServiceParams& params) const {
  const std::string host = Host();
  const int port = Port();
  if (host.empty() || port <= 0) {
    SServiceReply reply;
    reply.strError = "no remote service address";
    return reply;
  }
  auto client = MakeClient(host, port);
  return FromResult(bPost ? client->Post(path, ToParams(params))
                          : client->Get(path, ToParams(params), httplib::Headers{}));
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
