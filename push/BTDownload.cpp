#include "BTDownload.h"

#include <algorithm>
#include <charconv>

#include "settings/ConfigDoc.h"
#include "settings/TrackerSetting.h"
#include "zenuModule/src/COMOBJDriver.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
const char* const kMethodNames[] = {"IsRunning",   "StartBT",        "GetDownloadedPercent",
                                    "GetLeftTime", "GetPeerConnNum", "GetDownloadRate",
                                    "Exit",        "GetLastError",   "GetOtherRunInfo"};

// Figures cross the automation layer as decimal text; parsed without the
// process locale, which may use a decimal comma.
const char* SkipSpace(const CString& text) {
  const char* p = text.c_str();
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
  return p;
}

double ParseDouble(const CString& text) {
  const char* first = SkipSpace(text);
  double value = 0;
  const auto res = std::from_chars(first, text.c_str() + text.size(), value);
  return res.ec == std::errc() ? value : 0;
}

// Inside the quotes of the argument line a quote or a backslash is escaped, so a
// title holding either still names its own folder.
CString QuoteArg(const CString& path) {
  CString out;
  for (size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    // The second byte of a GBK character may be a backslash: it is not one.
    if (c >= 0x81 && c <= 0xFE && i + 1 < path.size()) {
      out += path.substr(i, 2);
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') out += '\\';
    out += path[i];
  }
  return out;
}

int ParseInt(const CString& text) {
  const char* first = SkipSpace(text);
  long long value = 0;
  const auto res = std::from_chars(first, text.c_str() + text.size(), value);
  return res.ec == std::errc() ? static_cast<int>(value) : 0;
}
}  // namespace

CString CBTDownload::ArgLine(const CString& torrent, const CString& saveas) {
  return StringFormat("--responsefile \"%s\" --saveas \"%s\"", QuoteArg(torrent).c_str(),
                      QuoteArg(saveas).c_str());
}

CString CBTDownload::SourceArgs() {
  const CString host = CProcessValues::GetRemoteSrvHost();
  // The only port of this machine a torrent's web seed may name.
  CString args =
      StringFormat(" --service \"%s:%d\"", host.c_str(), CProcessValues::GetRemoteSrvPort());
  const CString tracker = CTrackerSetting::ArgumentFor(host);
  if (!tracker.empty()) args += StringFormat(" --tracker \"%s\"", tracker.c_str());
  return args;
}

bool CBTDownload::Usable() const { return iState == 1 && pDisp; }

int32_t CBTDownload::Invoke(EMethod method, const CString* arg, CString& result) {
  result.clear();
  return pDisp->Invoke(m_dispIDs[method], arg, result);
}

std::unique_ptr<IAutomationObject> CreateBTComponent(const char* progID, const char* const* names,
                                                     int count, DISPID* ids, int32_t& lastResult,
                                                     const char* operation) {
  const char* const zenuOpName_ = operation;
  IAutomation* automation = GetAutomation();
  std::unique_ptr<IAutomationObject> created;
  const int32_t hr = automation ? automation->CreateInstance(progID, created) : AUTO_E_CLASSNOTREG;
  lastResult = hr;
  if (hr == AUTO_E_NOT_OURS)
    RAISE_ERROR("CoCreateInstance failure: %s", DescribeHolder(progID).c_str());
  if (hr < 0 || !created) RAISE_ERROR("CoCreateInstance failure");
  for (int i = 0; i < count; ++i) {
    if (created->GetIDsOfNames(names[i], ids[i]) < 0)
      RAISE_ERROR("GetIDsOfNames:%s() failure", names[i]);
  }
  return created;
}

void CBTDownload::CreateInstance() {
  OP_BEGIN("CBTDownload::CreateInstance")
  // The ids change only once every one is known.
  DISPID ids[M_COUNT] = {};
  pDisp = CreateBTComponent(kProgID, kMethodNames, M_COUNT, ids, m_lastCreateResult, zenuOpName_);
  for (int i = 0; i < M_COUNT; ++i) m_dispIDs[i] = ids[i];
  ZTRACE(1, zenuOpName_, "启动BT下载组件成功");
  iState = 1;
  OP_END
}

void CBTDownload::DestroyInstance() {
  OP_BEGIN("CBTDownload::DestroyInstance")
  if (iState == 1) pDisp.reset();
  OP_END
}

BOOL CBTDownload::StartBT(CString args) {
  OP_BEGIN("CBTDownload::StartBT")
  if (!Usable()) {
    ZTRACE(1, zenuOpName_, "CBTDownload::StartBT启动下载失败");
    return FALSE;
  }
  const int port = m_portSelect.GetListenPort(1);
  args += StringFormat(" --minport %d --maxport %d", port, port + 10);
  // The user's limit in KB/s; 0 and anything below it mean unlimited.
  args += StringFormat(" --ratelimit %d", std::max(0, CConfigDoc::GetInstance()->GetRateLimit()));
  args += SourceArgs();
  ZTRACE(1, zenuOpName_, "启动BT的端口:%s", args.c_str());
  CString ignored;
  const int32_t hr = Invoke(M_STARTBT, &args, ignored);
  if (hr < 0) {
    iState = 0;
    ZTRACE(1, zenuOpName_, "Invoke StartBT() failure.hr:%d", static_cast<int>(hr));
    ShowMessageBox("Vadeko下载进程可能在安装时被安全软件拦截，请重新安装并添加信任操作");
    RAISE_ERROR("Invoke StartBT() failure.hr:%d", static_cast<int>(hr));
  }
  ZTRACE(1, zenuOpName_, "已经启动bt下载");
  return TRUE;
  OP_END
}

// One failure ends the driver's usefulness: the component is created only once.
#define BT_INVOKE(method, arg, operation, result)                                 \
  do {                                                                            \
    const int32_t hr_ = Invoke(method, arg, result);                              \
    if (hr_ < 0) {                                                                \
      iState = 0;                                                                 \
      RAISE_ERROR("Invoke %s() failure.hr:%d", operation, static_cast<int>(hr_)); \
    }                                                                             \
  } while (0)

double CBTDownload::GetPercent() {
  OP_BEGIN("CBTDownload::GetPercent")
  if (!Usable()) return 0;
  CString result;
  BT_INVOKE(M_GETDOWNLOADEDPERCENT, nullptr, "GetPercent", result);
  return ParseDouble(result);
  OP_END
}

int CBTDownload::GetLeftTime() {
  OP_BEGIN("CBTDownload::GetLeftTime")
  if (!Usable()) return 0;
  CString result;
  BT_INVOKE(M_GETLEFTTIME, nullptr, "GetLeftTime", result);
  return ParseInt(result);
  OP_END
}

int CBTDownload::GetPeerConnNum() {
  OP_BEGIN("CBTDownload::GetPeerConnNum")
  if (!Usable()) return 0;
  CString result;
  BT_INVOKE(M_GETPEERCONNNUM, nullptr, "GetPeerConnNum", result);
  return ParseInt(result);
  OP_END
}

double CBTDownload::GetDownloadRate() {
  OP_BEGIN("CBTDownload::GetDownloadRate")
  if (!Usable()) return 0;
  CString result;
  BT_INVOKE(M_GETDOWNLOADRATE, nullptr, "GetDownloadRate", result);
  return ParseDouble(result);
  OP_END
}

CString CBTDownload::GetLastError() {
  OP_BEGIN("CBTDownload::GetLastError")
  if (!Usable()) return CString();
  CString result;
  BT_INVOKE(M_GETLASTERROR, nullptr, "GetLastError", result);
  return result;
  OP_END
}

void CBTDownload::Exit() {
  OP_BEGIN("CBTDownload::Exit")
  if (!Usable()) return;
  CString ignored;
  BT_INVOKE(M_EXIT, nullptr, "Exit", ignored);
  OP_END
}

CString CBTDownload::GetOtherRunInfo(int kind) {
  OP_BEGIN("CBTDownload::GetOtherRunInfo")
  if (!Usable()) {
    ZTRACE(1, zenuOpName_, "COM下载对象不存在");
    return CString();
  }
  // The automation layer carries one text argument: the kind goes as its decimal.
  const CString arg = std::to_string(kind);
  CString result;
  const int32_t hr = Invoke(M_GETOTHERRUNINFO, &arg, result);
  if (hr < 0) RAISE_ERROR("Invoke GetOtherRunInfo() failure.hr:%d", static_cast<int>(hr));
  return result;
  OP_END
}
