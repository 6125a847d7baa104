#pragma once
#include <json/value.h>

#include <QDBusMessage>
#include <QProcess>
#include <QProcessEnvironment>
#include <memory>
#include <string>

// The reference remote service as a child process.
class CServiceProcess final {
 public:
  ~CServiceProcess() { Stop(); }
  // port 0 picks one; the data folder keeps the store between starts.
  bool Start(const std::string& dataDir, int port = 0, int movies = 30, int minKib = 4,
             int maxKib = 8);
  void Stop();
  // Further options for the next start (another listening host, say).
  void SetExtraArguments(const QStringList& args) { m_extraArgs = args; }
  int Port() const { return m_port; }
  // What it printed while starting.
  const std::string& Output() const { return m_output; }
  QProcess& Process() { return m_process; }

 private:
  QProcess m_process;
  QStringList m_extraArgs;
  int m_port = 0;
  std::string m_output;
};

// The built program started as a user starts it, against the service on
// servicePort, offscreen, its output passed through.
std::unique_ptr<QProcess> StartProgram(const QString& exe, int servicePort);

// zenu-localserver started the way the client starts it.
class CLocalServerProcess final {
 public:
  ~CLocalServerProcess();
  bool Start(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
  // Sends one command document to "OnOrvexCmd"; the reply message.
  QDBusMessage Command(const Json::Value& cmd);
  QDBusMessage StartCommand(int httpPort, int servicePort, const std::string& root,
                            const std::string& progPath);
  QDBusMessage Login(const std::string& utf8User, const std::string& dbFile);
  QDBusMessage StopCommand();
  // Waits for the process to end; false when it did not within the time.
  bool WaitExit(int ms);
  QProcess& Process() { return m_process; }

 private:
  QProcess m_process;
};
