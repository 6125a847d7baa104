#include "ServiceHostSetting.h"

#include <fstream>
#include <mutex>

#include "zenuModule/src/CmdParams.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/IniFile.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
const char kSystemFile[] = "/etc/vadeko/vadeko.conf";
// A configuration file is a few lines; anything longer is not one.
constexpr std::streamsize kMaxSystemFileBytes = 64 * 1024;

std::mutex g_mutex;
CString g_systemFile;
std::function<void()> g_listener;

CString GlobalFile() { return GetExePath(0) + "config.ini"; }

bool SameKey(const CString& a, const char* b) {
  if (a.size() != std::char_traits<char>::length(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// "ServiceHost=" in a file of key=value lines (sections and comments allowed).
CString ReadSystemValue(const CString& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return CString();
  CString text(kMaxSystemFileBytes, '\0');
  in.read(&text[0], kMaxSystemFileBytes);
  text.resize(static_cast<size_t>(in.gcount()));
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == CString::npos) end = text.size();
    const CString line = TrimWhite(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') continue;
    const size_t eq = line.find('=');
    if (eq == CString::npos) continue;
    if (SameKey(TrimWhite(line.substr(0, eq)), CServiceHostSetting::kKey))
      return TrimWhite(line.substr(eq + 1));
  }
  return CString();
}

bool ParseLogged(const CString& text, const CString& where, SServiceAddress* out) {
  if (text.empty()) return false;
  CString error;
  if (ParseServiceAddress(text, out, &error)) return true;
  ZTRACE(1, "CServiceHostSetting::ReadConfigured", "%s: ServiceHost=%s ignored: %s", where.c_str(),
         text.c_str(), error.c_str());
  return false;
}

// The port a run uses: the command line's, else the address's, else the
// scheme's default (88, or 443 for https).
int PortFor(const SServiceAddress& addr) {
  CCmdParams* params = CCmdParams::GetInstance();
  if (params->HasServerPort()) return params->GetServerPort();
  return addr.iPort != 0 ? addr.iPort : DefaultServicePort(addr.bTls);
}

bool InUse() { return CProcessValues::GetRemoteSrvScheme() == "https"; }
}  // namespace

void CServiceHostSetting::SetSystemFile(const CString& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_systemFile = path;
}

CString CServiceHostSetting::SystemFile() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_systemFile.empty() ? CString(kSystemFile) : g_systemFile;
}

void CServiceHostSetting::SetChangeListener(std::function<void()> listener) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_listener = std::move(listener);
}

bool CServiceHostSetting::ReadConfigured(SServiceAddress* out) {
  OP_BEGIN("CServiceHostSetting::ReadConfigured")
  const CString global = GlobalFile();
  if (ParseLogged(IniGetString(global, "sys", kKey, ""), global, out)) return true;
  const CString system = SystemFile();
  return ParseLogged(ReadSystemValue(system), system, out);
  OP_END
}

void CServiceHostSetting::ApplyAtStart() {
  OP_BEGIN("CServiceHostSetting::ApplyAtStart")
  SServiceAddress addr;
  if (ReadConfigured(&addr)) CProcessValues::SetRemoteSrvHost(addr.strHost);
  CProcessValues::SetRemoteSrvScheme(addr.bTls ? "https" : "http");
  CProcessValues::SetRemoteSrvPort(PortFor(addr));
  ZTRACE(1, zenuOpName_, "service: %s%s:%d", InUse() ? "https://" : "",
         CProcessValues::GetRemoteSrvHost().c_str(), CProcessValues::GetRemoteSrvPort());
  OP_END
}

CString CServiceHostSetting::CurrentText() {
  return FormatServiceAddress(CProcessValues::GetRemoteSrvHost(),
                              CProcessValues::GetRemoteSrvPort(), InUse());
}

bool CServiceHostSetting::Change(const CString& text) {
  OP_BEGIN("CServiceHostSetting::Change")
  SServiceAddress addr;
  CString error;
  if (!ParseServiceAddress(text, &addr, &error)) {
    ShowMessageBox(error);
    return false;
  }
  // A port left out is the command line's or the default one, as at start.
  if (addr.iPort == 0) {
    SServiceAddress bare;
    bare.bTls = addr.bTls;
    addr.iPort = PortFor(bare);
  }
  if (addr.strHost == CProcessValues::GetRemoteSrvHost() &&
      addr.iPort == CProcessValues::GetRemoteSrvPort() && addr.bTls == InUse())
    return true;
  const CString stored = FormatServiceAddress(addr.strHost, addr.iPort, addr.bTls);
  if (!IniWriteString(GlobalFile(), "sys", kKey, stored)) {
    ShowMessageBox(StringFormat("无法保存服务器地址到%s", GlobalFile().c_str()));
    return false;
  }
  CProcessValues::SetRemoteSrvHost(addr.strHost);
  CProcessValues::SetRemoteSrvScheme(addr.bTls ? "https" : "http");
  CProcessValues::SetRemoteSrvPort(addr.iPort);
  ZTRACE(1, zenuOpName_, "service: %s:%d", CProcessValues::GetRemoteSrvRoot().c_str(), addr.iPort);
  std::function<void()> listener;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    listener = g_listener;
  }
  if (listener) listener();
  return true;
  OP_END
}

bool CServiceHostSetting::ConfirmPlainLogin() {
  OP_BEGIN("CServiceHostSetting::ConfirmPlainLogin")
  const CString host = CProcessValues::GetRemoteSrvHost();
  if (InUse() || IsLoopbackHost(host)) return true;
  const CString address = FormatServiceAddress(host, CProcessValues::GetRemoteSrvPort());
  // A key line must not start with "[", which opens a section.
  CString key;
  for (char c : address)
    if (c != '[' && c != ']') key += c;
  if (IniGetString(GlobalFile(), kPlainSection, key, "") == "1") return true;
  const CString text = StringFormat(
      "服务器%s不使用加密连接(https)，密码将以未加密的形式在网络上传送，"
      "同一网络中的其他人可能截获并冒用您的账号。\n\n仍要继续吗？",
      address.c_str());
  if (ShowMessageBox(text, MB_OKCANCEL | MB_ICONWARNING) != IDOK) return false;
  // Asked once per address: the answer stands for later logins.
  IniWriteString(GlobalFile(), kPlainSection, key, "1");
  return true;
  OP_END
}
