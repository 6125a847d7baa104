#pragma once
#include <functional>

#include "zenuModule/src/ServiceAddress.h"
#include "zenuModule/src/Types.h"

// The service address as a setting: config.ini [sys] "ServiceHost" in the
// program folder, below it the operator's default in /etc/vadeko/vadeko.conf
// ("ServiceHost="), below that the built-in host and port 88. A port given on
// the command line outranks the configured one; command 200 of the local
// server still replaces the host for the rest of the run.
class CServiceHostSetting final {
 public:
  // The configured address; false when neither file names a usable one.
  static bool ReadConfigured(SServiceAddress* out);
  // Start-up: host and port of the run from the settings and the command line.
  static void ApplyAtStart();
  // What the user sees in "服务器": the address in use.
  static CString CurrentText();
  // The user's entry: checked (a message box says what is wrong), then used
  // for this run, stored, and passed to whoever listens (the local server).
  // Nothing changes when the entry names the address in use.
  static bool Change(const CString& text);
  // Before a password goes to the service: over plain http to another
  // machine the user is warned, once per address (config.ini
  // [PlainHttpWarned]), and may stop. True to go on.
  static bool ConfirmPlainLogin();

  // Told of every change: the session passes it on to the local server.
  static void SetChangeListener(std::function<void()> listener);
  // Tests point the operator's file elsewhere; empty goes back to the real one.
  static void SetSystemFile(const CString& path);
  static CString SystemFile();

  static constexpr const char* kKey = "ServiceHost";
  static constexpr const char* kPlainSection = "PlainHttpWarned";
};
