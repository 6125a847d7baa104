#include "Log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

#include "LocalTime.h"
#include "PathHelpers.h"
#include "ProgramException.h"
#include "StringHelpers.h"
#include "TextCodec.h"
#include "desktop/FileSystem.h"
#include "desktop/MessageBox.h"
#include "desktop/MessageLoop.h"
#include "desktop/Platform.h"

namespace {
std::mutex g_pathMutex;
CString g_traceFile = "/tmp/trace.log";
CString g_errorFile = "/tmp/error.log";

std::recursive_mutex g_traceMutex;
short g_traceLevel = 0;
CString g_traceFunction;

std::mutex g_logMutex;
// Guards re-entry only: a callback run from inside an append must not write.
// Other threads wait for the mutex.
thread_local short t_logBusy = 0;

// A log that cannot be written is told once per run, later, from the loop:
// a box shown from inside the append would run nested work (a database
// transaction, the push handling) under it.
std::atomic<bool> g_failureNoticeDue{false};
std::atomic<bool> g_failureNoticeDone{false};
std::mutex g_failureTextMutex;
CString g_failureText;

void PostFailureNotice() {
  if (!g_failureNoticeDue.load() || !CPlatform::IsLoopThread()) return;
  IMessageLoop* loop = CPlatform::Loop();
  if (!loop || g_failureNoticeDone.exchange(true)) return;
  g_failureNoticeDue = false;
  CString text;
  {
    std::lock_guard<std::mutex> lock(g_failureTextMutex);
    text = g_failureText;
  }
  loop->Post([text] { ShowMessageBox(text, MB_ICONWARNING); });
}

void NoteFailure(const CString& text) {
  if (g_failureNoticeDone.load()) return;
  {
    std::lock_guard<std::mutex> lock(g_failureTextMutex);
    if (g_failureText.empty()) g_failureText = text;
  }
  g_failureNoticeDue = true;
}

CString FormatArgs(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int needed = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (needed <= 0) return CString();
  std::vector<char> buffer(static_cast<size_t>(needed) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  return CString(buffer.data(), static_cast<size_t>(needed));
}
}  // namespace

void SetTraceFilePath(const CString& path) {
  std::lock_guard<std::mutex> lock(g_pathMutex);
  g_traceFile = path;
}
void SetErrorFilePath(const CString& path) {
  std::lock_guard<std::mutex> lock(g_pathMutex);
  g_errorFile = path;
}
CString GetTraceFilePath() {
  std::lock_guard<std::mutex> lock(g_pathMutex);
  return g_traceFile;
}
CString GetErrorFilePath() {
  std::lock_guard<std::mutex> lock(g_pathMutex);
  return g_errorFile;
}

void WriteLog(const CString& text, const CString& path) {
  if (t_logBusy) return;
  t_logBusy = 1;
  std::unique_lock<std::mutex> lock(g_logMutex);
  CString failure;
  try {
    const CString folder = LeftInStr(path, "/", TRUE);
    if (!folder.empty()) CheckFolder(folder, 1);
    // GBK inside, UTF-8 in the file, as every other text a Linux user reads.
    if (!AppendToFile(path, GBKToUtf8(text))) failure = "Error in open error log file: " + path;
  } catch (CProgramException* e) {
    e->Delete();
    failure = "Unknown CException(besides CFileException) error happens in function: WriteLog";
  } catch (...) {
    failure = "Pure C++ error happens in function: WriteLog";
  }
  lock.unlock();
  if (!failure.empty()) NoteFailure(failure);
  PostFailureNotice();
  t_logBusy = 0;
}

void WriteErrorLog(const CString& text) { WriteLog(text, GetErrorFilePath()); }

void ResetLogFailureNotice() {
  g_failureNoticeDue = false;
  g_failureNoticeDone = false;
  std::lock_guard<std::mutex> lock(g_failureTextMutex);
  g_failureText.clear();
}

void TraceBegin(short level, const char* function) {
  g_traceMutex.lock();
  g_traceLevel = level;
  g_traceFunction = function;
}

void WriteTraceLog(const char* format, ...) {
  if (g_traceLevel == 1) {
    va_list args;
    va_start(args, format);
    const CString message = FormatArgs(format, args);
    va_end(args);
    WriteLog("\n" + FormatNowLocal() + ":" + g_traceFunction + "(): " + message,
             GetTraceFilePath());
  }
  g_traceMutex.unlock();
}

CString UrlForTrace(const CString& url) {
  static const char kSecret[] = "md5_passwd=";
  CString out = url;
  for (size_t at = out.find(kSecret); at != CString::npos; at = out.find(kSecret, at)) {
    at += sizeof kSecret - 1;
    const size_t end = out.find('&', at);
    out.replace(at, (end == CString::npos ? out.size() : end) - at, "*");
  }
  return out;
}

void LogAndDeleteException(CException* e) {
  if (auto* pe = dynamic_cast<CProgramException*>(e)) {
    WriteErrorLog(pe->GetErrInfo().empty() ? pe->GetError() : pe->GetErrInfo());
  } else {
    char message[2000] = {0};
    e->GetErrorMessage(message, sizeof message);
    WriteErrorLog(message);
  }
  e->Delete();
}
