#include "TrackerSetting.h"

#include "zenuModule/src/Log.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ServiceAddress.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/IniFile.h"

namespace {
CString Lower(CString text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}
}  // namespace

bool CTrackerSetting::IsLoopbackHost(const CString& host) {
  const CString h = Lower(host);
  if (h == "localhost" || h == "[::1]" || h == "::1") return true;
  // 127.0.0.0/8 written as a dotted address.
  if (h.compare(0, 4, "127.") != 0) return false;
  for (char c : h)
    if (c != '.' && (c < '0' || c > '9')) return false;
  return true;
}

CString CTrackerSetting::ArgumentFor(const CString& serviceHost) {
  if (!IsLoopbackHost(serviceHost)) return CString();
  const CString text = TrimWhite(IniGetString(GetExePath(0) + "config.ini", "sys", kKey, ""));
  if (text.empty()) return CString();
  SServiceAddress addr;
  CString error;
  // A tracker has no default port to fall back on.
  if (!ParseServiceAddress(text, &addr, &error) || addr.iPort == 0 ||
      !IsLoopbackHost(addr.strHost)) {
    ZTRACE(1, "CTrackerSetting::ArgumentFor", "TrackerHost=%s ignored: %s", text.c_str(),
           error.empty() ? "not host:port on this machine" : error.c_str());
    return CString();
  }
  return StringFormat("%s:%d", addr.strHost.c_str(), addr.iPort);
}
