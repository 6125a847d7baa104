#pragma once
#include <json/value.h>

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <functional>
#include <string>
#include <vector>

// The client's automation object as the component sees it: owns "zenu.Orvex"
// and records every command document it receives, in order.
class CRecordingOrvex final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "zenu.Orvex")

 public:
  bool Publish();
  void Unpublish();

  std::vector<Json::Value> commands;
  std::vector<int> Indexes(size_t from = 0) const;
  // The documents of one command index, from position `from` on.
  std::vector<Json::Value> Of(int index, size_t from = 0) const;

 public Q_SLOTS:
  int OnLocalSrvCmd(const QString& json);
};

// Runs the Qt loop (so bus calls to this process are served) until done() or
// the time-out; returns done().
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 15000);
// Runs the Qt loop for a while, e.g. to see that nothing more arrives.
void Pump(int ms);

// The reference remote service as a child process.
class CServiceProcess final {
 public:
  ~CServiceProcess() { Stop(); }
  // port 0 picks one; the data folder keeps the store between starts.
  bool Start(const std::string& dataDir, int port = 0, int movies = 30);
  void Stop();
  int Port() const { return m_port; }

 private:
  QProcess m_process;
  int m_port = 0;
};

// zenu-localserver started the way the client starts it.
class CLocalServerProcess final {
 public:
  ~CLocalServerProcess();
  bool Start(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
  // Sends one command document to "OnOrvexCmd"; the reply message.
  QDBusMessage Command(const Json::Value& cmd);
  QDBusMessage StartCommand(int httpPort, int servicePort, const std::string& root);
  QDBusMessage Login(const std::string& utf8User);
  QDBusMessage StopCommand();
  // Waits for the process to end; false when it did not within the time.
  bool WaitExit(int ms);
  QProcess& Process() { return m_process; }

 private:
  QProcess m_process;
};

// Client-side requests to the reference service (names as GBK bytes).
namespace service {
bool Register(int port, const std::string& gbkUser);
bool Rate(int port, const std::string& gbkUser, unsigned movie, int score, bool toAll);
// POST to the JSON API; the status code.
int Post(int port, const std::string& path,
         const std::vector<std::pair<std::string, std::string>>& form);
bool GetJson(int port, const std::string& path, Json::Value& out);
}  // namespace service

std::string WriteJson(const Json::Value& v);
bool ParseJson(const std::string& text, Json::Value& out);
