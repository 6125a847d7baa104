#pragma once
#include <json/value.h>

#include <functional>
#include <map>
#include <string>

#include "ServiceClient.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib
class CComponentSession;
class COrvexClient;

// A refusal or failure of a page action: HTTP status, a short stable code and
// a text the page can show.
struct SApiError {
  int iStatus = 400;
  std::string strCode;
  std::string strMessage;
};

// The JSON endpoints behind the pages ("/api/<name>", POST with a JSON body
// and the page token). They relay to the client over D-Bus and to the service
// over HTTP; every failure becomes a JSON answer {"ok": false, "code", "error"}.
class CApiRoutes final {
 public:
  CApiRoutes(CComponentSession& session, COrvexClient& client, const std::string& secret);
  void Install(httplib::Server& server);

  // Turns a service reply into its JSON object, or the error to answer with.
  static bool FromService(const SServiceReply& reply, Json::Value& out, SApiError& error);

 private:
  using Handler = std::function<bool(const Json::Value& in, Json::Value& out, SApiError& error)>;
  void Dispatch(const httplib::Request& req, httplib::Response& res, const std::string& name);
  bool User(std::string& name, SApiError& error) const;
  // Sets "in_list" on each item whose id (key idKey) the user's list holds.
  void MarkInList(Json::Value& items, const char* idKey) const;

  bool Search(const Json::Value& in, Json::Value& out, SApiError& error);
  bool Kinds(const Json::Value& in, Json::Value& out, SApiError& error);
  bool SaveKinds(const Json::Value& in, Json::Value& out, SApiError& error);
  bool PushNow(const Json::Value& in, Json::Value& out, SApiError& error);
  bool Rate(const Json::Value& in, Json::Value& out, SApiError& error);
  bool Movie(const Json::Value& in, Json::Value& out, SApiError& error);
  bool Download(const Json::Value& in, Json::Value& out, SApiError& error);
  // The movie's status in the user's list, which the client changes when it acts.
  bool MovieState(const Json::Value& in, Json::Value& out, SApiError& error);
  // "边下边播": the client opens the movie it is downloading in the user's player.
  bool Stream(const Json::Value& in, Json::Value& out, SApiError& error);
  bool PushMethod(const Json::Value& in, Json::Value& out, SApiError& error);
  bool FindUsers(const Json::Value& in, Json::Value& out, SApiError& error);
  bool Friends(const Json::Value& in, Json::Value& out, SApiError& error);
  bool Follow(const Json::Value& in, Json::Value& out, SApiError& error, bool follow);
  bool Recommendations(const Json::Value& in, Json::Value& out, SApiError& error);
  bool Dismiss(const Json::Value& in, Json::Value& out, SApiError& error);

  CComponentSession& m_session;
  COrvexClient& m_client;
  const std::string m_secret;
  std::map<std::string, Handler> m_handlers;
};
