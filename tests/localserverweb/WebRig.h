#pragma once
#include <httplib.h>
#include <json/value.h>

#include <QTemporaryDir>
#include <memory>
#include <string>

#include "tests/componentrig/ChildProcesses.h"
#include "tests/componentrig/RecordingOrvex.h"
#include "tests/componentrig/RigBasics.h"

// The real zenu-service (small demo catalogue, temporary store) and the real
// zenu-localserver, driven over the private session bus as the client would,
// with a recording "zenu.Orvex". One rig per test process.
class CWebRig final {
 public:
  static CWebRig& Get();
  static void Shutdown();

  bool Ok() const { return m_error.empty(); }
  const std::string& Error() const { return m_error; }

  int Port() const { return m_port; }
  int ServicePort() const { return m_service.Port(); }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }
  std::string Token() const { return m_token; }
  CRecordingOrvex& Orvex() { return m_orvex; }

  // Waits for the next command with this index after `from` commands.
  bool WaitCommand(int index, size_t from, Json::Value& out, int ms = 8000) {
    return m_orvex.WaitCommand(index, from, out, ms);
  }

  // Start command (1) again: points the component at another service port.
  bool PointAtService(int port);
  // Login command (2).
  void SetUser(const std::string& name);
  // A record of the movie in the user's list (the client's record database),
  // with its status as the client would set it.
  bool PutInList(const std::string& name, int movieId, int status = 32);
  void ClearList(const std::string& name);

  // A client of the component with no extra headers.
  std::unique_ptr<httplib::Client> Http() const;
  // POST /api/<name> the way the pages do it; extra headers replace the defaults.
  httplib::Result Action(const std::string& name, const std::string& body,
                         const httplib::Headers& extra = {}) const;
  // The reference service directly.
  Json::Value ServiceJson(const std::string& path) const;
  bool RegisterUser(const std::string& utf8Name);
  bool Rate(const std::string& utf8Name, int movieId, int score, bool recommendAll,
            const std::string& comment);

  // A BitTorrent movie and a download-manager-only movie of the catalogue.
  int BtMovie() const { return m_btMovie; }
  int ThunderMovie() const { return m_thunderMovie; }
  std::string TitleOf(int movieId) const;

 private:
  CWebRig() = default;
  ~CWebRig();
  bool Start();
  bool Sent(const QDBusMessage& reply);

  std::string m_error;
  // Destroyed in reverse: the component stops before the service, both
  // before their folder goes.
  QTemporaryDir m_dir;
  CServiceProcess m_service;
  CLocalServerProcess m_component;
  CRecordingOrvex m_orvex;
  int m_port = 0;
  std::string m_token;
  int m_btMovie = 0;
  int m_thunderMovie = 0;
};
