#include "BTShare.h"

#include <charconv>
#include <cmath>

#include "push/BTDownload.h"
#include "zenuModule/src/COMOBJDriver.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
const char* const kMethodNames[] = {
    "Share", "Unshare", "SetUploadLimit", "SetMaxShared", "GetShareStatus", "GetLastError", "Exit"};

// An int answer as decimal text; anything else counts as a refusal.
int ParseAnswer(const CString& text) {
  long long value = -1;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
  if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return -1;
  return value == 0 ? 0 : -1;
}
}  // namespace

void CBTShare::CreateInstance() {
  OP_BEGIN("CBTShare::CreateInstance")
  iState = 0;
  pDisp.reset();
  pDisp =
      CreateBTComponent(kProgID, kMethodNames, M_COUNT, m_dispIDs, m_lastCreateResult, zenuOpName_);
  ZTRACE(1, zenuOpName_, "启动BT分享组件成功");
  iState = 1;
  OP_END
}

void CBTShare::DestroyInstance() {
  OP_BEGIN("CBTShare::DestroyInstance")
  pDisp.reset();
  iState = 0;
  OP_END
}

CString CBTShare::Call(EMethod method, const std::vector<SAutomationArg>& args,
                       const char* operation) {
  const char* const zenuOpName_ = operation;
  CString result;
  const int32_t hr = pDisp->InvokeArgs(m_dispIDs[method], args, result);
  if (hr < 0) {
    iState = 0;
    RAISE_ERROR("Invoke %s() failure.hr:%d", operation, static_cast<int>(hr));
  }
  return result;
}

int CBTShare::CallForInt(EMethod method, const std::vector<SAutomationArg>& args,
                         const char* operation) {
  return ParseAnswer(Call(method, args, operation));
}

int CBTShare::Share(RecordGID ulGID, const CString& args) {
  OP_BEGIN("CBTShare::Share")
  if (!Usable()) return -1;
  return CallForInt(M_SHARE, {SAutomationArg::UInt(ulGID), SAutomationArg::Text(args)}, "Share");
  OP_END
}

int CBTShare::Unshare(RecordGID ulGID) {
  OP_BEGIN("CBTShare::Unshare")
  if (!Usable()) return -1;
  return CallForInt(M_UNSHARE, {SAutomationArg::UInt(ulGID)}, "Unshare");
  OP_END
}

int CBTShare::SetUploadLimit(int kbps) {
  OP_BEGIN("CBTShare::SetUploadLimit")
  if (!Usable()) return -1;
  return CallForInt(M_SETUPLOADLIMIT, {SAutomationArg::Int(kbps)}, "SetUploadLimit");
  OP_END
}

int CBTShare::SetMaxShared(int count) {
  OP_BEGIN("CBTShare::SetMaxShared")
  if (!Usable()) return -1;
  return CallForInt(M_SETMAXSHARED, {SAutomationArg::Int(count)}, "SetMaxShared");
  OP_END
}

bool CBTShare::GetShareStatus(int* count, double* kbps) {
  OP_BEGIN("CBTShare::GetShareStatus")
  if (!Usable()) return false;
  const CString text = Call(M_GETSHARESTATUS, {}, "GetShareStatus");
  const char* p = text.data();
  const char* end = p + text.size();
  long long n = 0;
  auto res = std::from_chars(p, end, n);
  if (res.ec != std::errc() || res.ptr == end || *res.ptr != ' ') return false;
  double rate = 0;
  const auto res2 = std::from_chars(res.ptr + 1, end, rate);
  if (res2.ec != std::errc() || res2.ptr != end) return false;
  if (n < 0 || n > 1000000 || !std::isfinite(rate) || rate < 0) return false;
  *count = static_cast<int>(n);
  *kbps = rate;
  return true;
  OP_END
}

CString CBTShare::GetLastError() {
  OP_BEGIN("CBTShare::GetLastError")
  if (!Usable()) return CString();
  CString text = Call(M_GETLASTERROR, {}, "GetLastError");
  // Only ever shown in a trace line.
  if (text.size() > 512) text.resize(512);
  return text;
  OP_END
}

void CBTShare::Exit() {
  OP_BEGIN("CBTShare::Exit")
  if (!Usable()) return;
  Call(M_EXIT, {}, "Exit");
  OP_END
}
