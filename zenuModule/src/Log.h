#pragma once
#include "Types.h"

// Appends GBK text to the file at path as UTF-8, creating its folders. A
// failed append loses its text and is told once per run by a message box
// posted to the loop; later appends try again.
void WriteLog(const CString& text, const CString& path);
void WriteErrorLog(const CString& text);
class CException;
// Writes a caught error's full text (its call stack when it has one) to the
// error log and deletes it: for callers that log and go on.
void LogAndDeleteException(CException* e);
// Writes one trace line when the current trace level is 1; always releases the
// trace lock taken by TraceBegin.
void WriteTraceLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void TraceBegin(short level, const char* function);

// Forgets that the failure notice was shown (a new run, in tests).
void ResetLogFailureNotice();
// A request URL as the trace log may keep it: whole, with the password digest hidden.
CString UrlForTrace(const CString& url);

void SetTraceFilePath(const CString& path);
void SetErrorFilePath(const CString& path);
CString GetTraceFilePath();
CString GetErrorFilePath();

// Trace statement: only level-1 statements write their line.
#define ZTRACE(level, function, ...) \
  do {                               \
    TraceBegin(level, function);     \
    WriteTraceLog(__VA_ARGS__);      \
  } while (0)
