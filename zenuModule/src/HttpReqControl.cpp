#include "HttpReqControl.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "HttpExchange.h"
#include "Log.h"
#include "OperationWrapper.h"
#include "StringHelpers.h"
#include "desktop/NetworkSense.h"

namespace {

// Shared with the worker threads; kept alive past the singleton and past static
// destruction, since a worker may still be finishing when the process ends.
struct SEngineState {
  std::unordered_map<unsigned long, SThreadInfo> m_mapThreadInfo;
  std::recursive_timed_mutex m_mutexThreadInfo;
  unsigned long m_ulRequestCount = 0;
  std::atomic<long> m_lThreadCount{0};
};

SEngineState& Engine() {
  static SEngineState* const state = new SEngineState;
  return *state;
}

using CTableLock = std::unique_lock<std::recursive_timed_mutex>;
constexpr std::chrono::milliseconds kLockWait(1000);

enum class EStop { None, Status, Length, Exit };

CProgramException* Converted(int type, const char* message) {
  try {
    zenu::ThrowConverted(type, __FILE__, __LINE__, "CHttpReqControl::HttpThread", message);
  } catch (CProgramException* e) {
    return e;
  }
}

long long ContentLengthValue(const CString& text) {
  return std::strtoll(text.c_str(), nullptr, 10);
}

// Room for the announced body up front, so a large body is not copied while it
// grows. Untouched room costs nothing; beyond the cap the buffer grows as it goes.
void ReserveForBody(CBuffer& buf, long long contentLength) {
  if (contentLength > 0)
    buf.Reserve(static_cast<unsigned long>(std::min(contentLength, CHttpExchange::kMaxBodyBytes)));
}

CString TooLargeText() {
  return StringFormat("服务器返回的数据超过了%lld MB的上限，已停止接收",
                      CHttpExchange::kMaxBodyBytes / (1024 * 1024));
}

// The worker's view of one asynchronous exchange: progress into the table after
// every piece, and the exit sign checked after every piece and while idle.
class CWorkerSink final : public IHttpExchangeSink {
 public:
  explicit CWorkerSink(unsigned long id, void (*setState)(unsigned long, const SHttpState&),
                       bool (*checkExit)(unsigned long))
      : m_id(id), m_setState(setState), m_checkExit(checkExit) {}

  bool OnResponse(long status, const CString& contentLength) override {
    m_status = status;
    if (status != 200) return Stop(EStop::Status);
    m_expected = ContentLengthValue(contentLength);
    if (m_expected < 1) return Stop(EStop::Length);
    ReserveForBody(buf, m_expected);
    m_start = std::chrono::steady_clock::now();
    return true;
  }

  bool OnBody(const char* data, size_t size, long long wireBytes) override {
    buf.JoinBuf(data, static_cast<unsigned long>(size));
    m_received = wireBytes;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - m_start)
            .count();
    const double seconds = elapsed <= 1 ? 1.0 : static_cast<double>(elapsed);
    SHttpState state;
    state.dReceivedKB = static_cast<double>(m_received) / 1024.0;
    state.dSpeedKB = state.dReceivedKB / seconds;
    state.dTotalKB = static_cast<double>(m_expected) / 1024.0;
    m_setState(m_id, state);
    return m_checkExit(m_id) ? Stop(EStop::Exit) : true;
  }

  bool OnIdle() override { return m_checkExit(m_id) ? Stop(EStop::Exit) : true; }

  EStop Reason() const { return m_stop; }
  long Status() const { return m_status; }

  CBuffer buf;

 private:
  bool Stop(EStop reason) {
    m_stop = reason;
    return false;
  }

  unsigned long m_id;
  void (*m_setState)(unsigned long, const SHttpState&);
  bool (*m_checkExit)(unsigned long);
  EStop m_stop = EStop::None;
  long m_status = 0;
  long long m_expected = 0;
  long long m_received = 0;
  std::chrono::steady_clock::time_point m_start;
};

// The synchronous exchange: the same checks, no progress and no exit sign.
class CSyncSink final : public IHttpExchangeSink {
 public:
  bool OnResponse(long status, const CString& contentLength) override {
    m_status = status;
    if (status != 200) return Stop(EStop::Status);
    const long long expected = ContentLengthValue(contentLength);
    if (expected < 1) return Stop(EStop::Length);
    ReserveForBody(buf, expected);
    return true;
  }
  bool OnBody(const char* data, size_t size, long long) override {
    buf.JoinBuf(data, static_cast<unsigned long>(size));
    return true;
  }
  bool OnIdle() override { return true; }

  EStop Reason() const { return m_stop; }
  long Status() const { return m_status; }
  CBuffer buf;

 private:
  bool Stop(EStop reason) {
    m_stop = reason;
    return false;
  }
  EStop m_stop = EStop::None;
  long m_status = 0;
};
}  // namespace

long CHttpReqControl::GetThreadCount() { return Engine().m_lThreadCount; }

size_t CHttpReqControl::GetRequestCount() {
  std::lock_guard<std::recursive_timed_mutex> lock(Engine().m_mutexThreadInfo);
  return Engine().m_mapThreadInfo.size();
}

long CHttpReqControl::GetStallSeconds() { return CHttpExchange::GetStallSeconds(); }

void CHttpReqControl::SetStallSeconds(long seconds) { CHttpExchange::SetStallSeconds(seconds); }

unsigned long CHttpReqControl::Request(const CString& strUrl) {
  OP_BEGIN("CHttpReqControl::Request")
  const unsigned long id = AddThreadInfo(strUrl);
  if (id == 0) return 0;
  // Counted before the thread exists, so a shutdown wait can never miss a starting worker.
  ++Engine().m_lThreadCount;
  try {
    std::thread(&CHttpReqControl::HttpThread, id).detach();
  } catch (...) {
    --Engine().m_lThreadCount;
    RemoveThreadInfo(id);
    throw;
  }
  return id;
  OP_END
}

unsigned long CHttpReqControl::AddThreadInfo(const CString& strUrl) {
  OP_BEGIN("CHttpReqControl::AddThreadInfo")
  SEngineState& engine = Engine();
  CTableLock lock(engine.m_mutexThreadInfo, kLockWait);
  if (!lock.owns_lock()) return 0;
  const unsigned long id = ++engine.m_ulRequestCount;
  SThreadInfo info;
  info.strUrl = strUrl;
  info.ulRequestID = id;
  engine.m_mapThreadInfo.emplace(id, std::move(info));
  return id;
  OP_END
}

void CHttpReqControl::RemoveThreadInfo(unsigned long ulRequestID) {
  OP_BEGIN("CHttpReqControl::RemoveThreadInfo")
  CTableLock lock(Engine().m_mutexThreadInfo);
  Engine().m_mapThreadInfo.erase(ulRequestID);
  OP_END
}

void CHttpReqControl::HttpThread(unsigned long ulRequestID) {
  CProgramException* error = nullptr;
  try {
    ThreadProc_HttpThread(ulRequestID);
  } catch (CProgramException* e) {
    e->CallStack(__FILE__, "CHttpReqControl::HttpThread");
    error = e;
  } catch (CException* e) {
    char message[2000] = {0};
    e->GetErrorMessage(message, sizeof message);
    e->Delete();
    error = Converted(1, message);
  } catch (const std::exception& e) {
    error = Converted(1, e.what());
  } catch (...) {
    error = Converted(2, "Pure C++ error");
  }
  if (error) {
    // Nothing may leave the thread: logging and storing the text are best effort.
    try {
      WriteErrorLog(error->GetErrInfo());
      ThreadExcept_HttpThread(ulRequestID, error->GetError());
    } catch (CException* e) {
      e->Delete();
    } catch (...) {
    }
    error->Delete();
  }
  --Engine().m_lThreadCount;
}

void CHttpReqControl::ThreadProc_HttpThread(unsigned long ulRequestID) {
  OP_BEGIN("CHttpReqControl::ThreadProc_HttpThread")
  CString strUrl;
  GetUrl(ulRequestID, strUrl);
  OpenUrl(ulRequestID, strUrl);
  OP_END
}

void CHttpReqControl::GetUrl(unsigned long ulRequestID, CString& strUrl) {
  OP_BEGIN("CHttpReqControl::GetUrl")
  CTableLock lock(Engine().m_mutexThreadInfo);
  const auto it = Engine().m_mapThreadInfo.find(ulRequestID);
  if (it == Engine().m_mapThreadInfo.end()) RAISE_ERROR("线程ID:%lu,丢失数据!", ulRequestID);
  strUrl = it->second.strUrl;
  OP_END
}

void CHttpReqControl::OpenUrl(unsigned long ulRequestID, const CString& strUrl) {
  OP_BEGIN("CHttpReqControl::OpenUrl")
  if (!CHttpExchange::IsHttpUrl(strUrl)) RAISE_ERROR("Illegal Url:%s", strUrl.c_str());
  CWorkerSink sink(ulRequestID, &CHttpReqControl::SetHttpState, &CHttpReqControl::CheckExitSign);
  const SHttpExchangeResult result = CHttpExchange::Perform(strUrl, sink);
  switch (sink.Reason()) {
    case EStop::Status:
      RAISE_ERROR("%s,\nSendRequest() has a Exception.QueryInfoStatusCode() Return:%d",
                  strUrl.c_str(), static_cast<int>(sink.Status()));
    case EStop::Length:
      RAISE_ERROR("Request File Length is 0");
    case EStop::Exit:
      RAISE_ERROR("下载线程根据指令提前结束数据接收");
    case EStop::None:
      break;
  }
  if (result.bTooLarge) RAISE_ERROR("%s", TooLargeText().c_str());
  if (result.code != CURLE_OK) {
    RAISE_ERROR("Error %i: %s", static_cast<int>(result.code), result.strMessage.c_str());
  }
  if (!result.bGotResponse) {
    RAISE_ERROR("Error %i: %s", static_cast<int>(CURLE_WEIRD_SERVER_REPLY),
                curl_easy_strerror(CURLE_WEIRD_SERVER_REPLY));
  }
  SaveResult(ulRequestID, sink.buf);
  OP_END
}

bool CHttpReqControl::OpenUrlSync(const CString& strUrl, CString& strResult) {
  OP_BEGIN("CHttpReqControl::OpenUrlSync")
  if (!CHttpExchange::IsHttpUrl(strUrl)) RAISE_ERROR("Illegal Url:%s", strUrl.c_str());
  CSyncSink sink;
  const SHttpExchangeResult result = CHttpExchange::Perform(strUrl, sink);
  if (sink.Reason() == EStop::Status) {
    strResult =
        StringFormat("OpenUrlSync: %s, error::%d", strUrl.c_str(), static_cast<int>(sink.Status()));
    return false;
  }
  if (sink.Reason() == EStop::Length) RAISE_ERROR("Request File Length is 0");
  if (result.bTooLarge) {
    strResult = TooLargeText();
    return false;
  }
  if (result.code != CURLE_OK || !result.bGotResponse) {
    const CURLcode code = result.code != CURLE_OK ? result.code : CURLE_WEIRD_SERVER_REPLY;
    const CString message =
        result.code != CURLE_OK ? result.strMessage : CString(curl_easy_strerror(code));
    strResult = StringFormat("Error %i: %s", static_cast<int>(code), message.c_str());
    return false;
  }
  sink.buf.CopyToString(strResult);
  return true;
  OP_END
}

void CHttpReqControl::SetHttpState(unsigned long ulRequestID, const SHttpState& state) {
  OP_BEGIN("CHttpReqControl::SetHttpState")
  CTableLock lock(Engine().m_mutexThreadInfo);
  const auto it = Engine().m_mapThreadInfo.find(ulRequestID);
  if (it == Engine().m_mapThreadInfo.end()) return;
  it->second.dReceivedKB = state.dReceivedKB;
  it->second.dSpeedKB = state.dSpeedKB;
  it->second.dTotalKB = state.dTotalKB;
  OP_END
}

void CHttpReqControl::SaveResult(unsigned long ulRequestID, CBuffer& buf) {
  OP_BEGIN("CHttpReqControl::SaveResult")
  CTableLock lock(Engine().m_mutexThreadInfo);
  const auto it = Engine().m_mapThreadInfo.find(ulRequestID);
  if (it == Engine().m_mapThreadInfo.end()) RAISE_ERROR("线程ID丢失数据!");
  // The worker's buffer is not used again: hand it over instead of copying a large body.
  it->second.bufResult = std::move(buf);
  it->second.bFinished = TRUE;
  OP_END
}

void CHttpReqControl::ThreadExcept_HttpThread(unsigned long ulRequestID, const CString& strError) {
  OP_BEGIN("CHttpReqControl::ThreadExcept_HttpThread")
  CTableLock lock(Engine().m_mutexThreadInfo);
  const auto it = Engine().m_mapThreadInfo.find(ulRequestID);
  if (it == Engine().m_mapThreadInfo.end()) return;
  it->second.bError = TRUE;
  it->second.strError = strError;
  OP_END
}

bool CHttpReqControl::CheckExitSign(unsigned long ulRequestID) {
  OP_BEGIN("CHttpReqControl::CheckExitSign")
  return ThreadQueryExit(ulRequestID);
  OP_END
}

bool CHttpReqControl::ThreadQueryExit(unsigned long ulRequestID) {
  OP_BEGIN("CHttpReqControl::ThreadQueryExit")
  CTableLock lock(Engine().m_mutexThreadInfo);
  const auto it = Engine().m_mapThreadInfo.find(ulRequestID);
  return it != Engine().m_mapThreadInfo.end() && it->second.bExitSign;
  OP_END
}

BOOL CHttpReqControl::GetState(unsigned long ulRequestID, SHttpState& state) {
  OP_BEGIN("CHttpReqControl::GetState")
  CTableLock lock(Engine().m_mutexThreadInfo, kLockWait);
  if (!lock.owns_lock()) return FALSE;
  const auto it = Engine().m_mapThreadInfo.find(ulRequestID);
  if (it == Engine().m_mapThreadInfo.end()) RAISE_ERROR("调用对象,%lu,丢失数据!", ulRequestID);
  state.dReceivedKB = it->second.dReceivedKB;
  state.dSpeedKB = it->second.dSpeedKB;
  state.dTotalKB = it->second.dTotalKB;
  return TRUE;
  OP_END
}

bool CHttpReqControl::GetHttpError(unsigned long ulRequestID, CString& strError) {
  OP_BEGIN("CHttpReqControl::GetHttpError")
  CTableLock lock(Engine().m_mutexThreadInfo);
  const auto it = Engine().m_mapThreadInfo.find(ulRequestID);
  if (it == Engine().m_mapThreadInfo.end()) {
    strError = "Can not find http info";
    return true;
  }
  if (!it->second.bError) return false;
  strError = it->second.strError;
  return true;
  OP_END
}

BOOL CHttpReqControl::Receive(unsigned long ulRequestID, CBuffer& buf) {
  OP_BEGIN("CHttpReqControl::Receive")
  CTableLock lock(Engine().m_mutexThreadInfo, std::try_to_lock);
  if (!lock.owns_lock()) return FALSE;
  const auto it = Engine().m_mapThreadInfo.find(ulRequestID);
  if (it == Engine().m_mapThreadInfo.end() || !it->second.bFinished) return FALSE;
  // The entry goes right after, so its body is handed over rather than copied.
  buf = std::move(it->second.bufResult);
  RemoveThreadInfo(ulRequestID);
  return TRUE;
  OP_END
}

void CHttpReqControl::ExitHTTP(unsigned long ulRequestID) {
  OP_BEGIN("CHttpReqControl::ExitHTTP")
  CTableLock lock(Engine().m_mutexThreadInfo);
  const auto it = Engine().m_mapThreadInfo.find(ulRequestID);
  if (it != Engine().m_mapThreadInfo.end()) it->second.bExitSign = TRUE;
  OP_END
}

void CHttpReqControl::ExitAllHTTP() {
  OP_BEGIN("CHttpReqControl::ExitAllHTTP")
  CTableLock lock(Engine().m_mutexThreadInfo);
  for (auto& entry : Engine().m_mapThreadInfo) entry.second.bExitSign = TRUE;
  OP_END
}

void CHttpReqControl::DelRequestInfo(unsigned long ulRequestID) {
  OP_BEGIN("CHttpReqControl::DelRequestInfo")
  RemoveThreadInfo(ulRequestID);
  OP_END
}

BOOL CHttpReqControl::CheckNet() {
  OP_BEGIN("CHttpReqControl::CheckNet")
  return NetworkSense().IsNetworkAlive() ? TRUE : FALSE;
  OP_END
}
