#pragma once
#include "Types.h"

// Values fixed at start-up and read everywhere.
constexpr int kProgramVersion = 172;
constexpr int kDefaultRemoteServicePort = 88;
constexpr int kDefaultTlsServicePort = 443;
extern const char* const kDisplayName;        // the main window's title
extern const char* const kDefaultRemoteHost;  // until the local server reports its own

class CProcessValues final {
 public:
  static int GetLocalSrvPort();
  static void SetLocalSrvPort(int port);
  // "http://127.0.0.1:%d" with the local web server port.
  static CString GetLocalSrvBaseUrl();
  static void SetLocalSrvBaseUrl(const CString& url);
  static int GetRemoteSrvPort();
  static void SetRemoteSrvPort(int port);
  static CString GetRemoteSrvHost();
  static void SetRemoteSrvHost(const CString& host);
  // "https" when the service was named with that scheme, else "http".
  static CString GetRemoteSrvScheme();
  static void SetRemoteSrvScheme(const CString& scheme);
  // "<scheme>://<host>": what every URL to the service starts with.
  static CString GetRemoteSrvRoot();
  // Program folder, trace and error log paths; returns the program folder.
  static CString InitLogPaths();
  // Picks the local web server port and sets the base URL; writes the port line.
  static int ChooseLocalSrvPort();
  static void Reset();
};
