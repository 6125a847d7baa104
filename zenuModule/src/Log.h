#pragma once
#include "Types.h"

// Appends text unchanged to the file at path, creating its folders.
void WriteLog(const CString& text, const CString& path);
void WriteErrorLog(const CString& text);
// Writes one trace line when the current trace level is 1; always releases the
// trace lock taken by TraceBegin.
void WriteTraceLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void TraceBegin(short level, const char* function);

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
