#include "Log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "LocalTime.h"
#include "PathHelpers.h"
#include "ProgramException.h"
#include "StringHelpers.h"
#include "desktop/FileSystem.h"
#include "desktop/Platform.h"

namespace {
std::mutex g_pathMutex;
CString g_traceFile = "/tmp/trace.log";
CString g_errorFile = "/tmp/error.log";

std::recursive_mutex g_traceMutex;
short g_traceLevel = 0;
CString g_traceFunction;

std::mutex g_logMutex;
// Guards re-entry only: a message box shown by a failing append pumps messages,
// and a callback run meanwhile must not write. Other threads wait for the mutex.
thread_local short t_logBusy = 0;
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
    if (!AppendToFile(path, text)) failure = "Error in open error log file: " + path;
  } catch (CProgramException* e) {
    e->Delete();
    failure = "Unknown CException(besides CFileException) error happens in function: WriteLog";
  } catch (...) {
    failure = "Pure C++ error happens in function: WriteLog";
  }
  lock.unlock();
  if (!failure.empty()) ShowMessageBox(failure);
  t_logBusy = 0;
}

void WriteErrorLog(const CString& text) { WriteLog(text, GetErrorFilePath()); }

void TraceBegin(short level, const char* function) {
  g_traceMutex.lock();
  g_traceLevel = level;
  g_traceFunction = function;
}

void WriteTraceLog(const char* format, ...) {
  if (g_traceLevel == 1) {
    char message[50000] = {0};
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    WriteLog("\n" + FormatNowLocal() + ":" + g_traceFunction + "(): " + message, GetTraceFilePath());
  }
  g_traceMutex.unlock();
}
