#include "ProcessValues.h"

#include <mutex>

#include "Log.h"
#include "OperationWrapper.h"
#include "PathHelpers.h"
#include "PortSelect.h"
#include "StringHelpers.h"

const char* const kDisplayName = "Vadeko2012冬季版";
const char* const kDefaultRemoteHost = "127.0.0.1";

namespace {
std::mutex g_mutex;
int g_localPort = 80;
CString g_localBaseUrl = "http://127.0.0.1";
int g_remotePort = kDefaultRemoteServicePort;
CString g_remoteHost = kDefaultRemoteHost;
CString g_remoteScheme = "http";
}  // namespace

int CProcessValues::GetLocalSrvPort() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_localPort;
}
void CProcessValues::SetLocalSrvPort(int port) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_localPort = port;
}
CString CProcessValues::GetLocalSrvBaseUrl() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_localBaseUrl;
}
void CProcessValues::SetLocalSrvBaseUrl(const CString& url) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_localBaseUrl = url;
}
int CProcessValues::GetRemoteSrvPort() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_remotePort;
}
void CProcessValues::SetRemoteSrvPort(int port) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_remotePort = port;
}
CString CProcessValues::GetRemoteSrvHost() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_remoteHost;
}
void CProcessValues::SetRemoteSrvHost(const CString& host) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_remoteHost = host;
}

CString CProcessValues::GetRemoteSrvScheme() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_remoteScheme;
}
void CProcessValues::SetRemoteSrvScheme(const CString& scheme) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_remoteScheme = scheme == "https" ? "https" : "http";
}
CString CProcessValues::GetRemoteSrvRoot() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_remoteScheme + "://" + g_remoteHost;
}

CString CProcessValues::InitLogPaths() {
  OP_BEGIN("CProcessValues::InitLogPaths")
  const CString folder = GetExePath(0);
  SetTraceFilePath(folder + "trace.log");
  SetErrorFilePath(folder + "error.log");
  return folder;
  OP_END
}

int CProcessValues::ChooseLocalSrvPort() {
  OP_BEGIN("CUApp::InitInstance")
  SetLocalSrvBaseUrl("http://127.0.0.1");
  const int port = DetectAndSelectPort(0, 1);
  SetLocalSrvPort(port);
  SetLocalSrvBaseUrl(StringFormat("http://127.0.0.1:%d", port));
  ZTRACE(1, "CUApp::InitInstance", "localsrv port: %d", port);
  return port;
  OP_END
}

void CProcessValues::Reset() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_localPort = 80;
  g_localBaseUrl = "http://127.0.0.1";
  g_remotePort = kDefaultRemoteServicePort;
  g_remoteHost = kDefaultRemoteHost;
  g_remoteScheme = "http";
}
