#pragma once
#include "Types.h"

CString URLEncode(const CString& text);
CString LeftInStr(const CString& text, const CString& sep, BOOL bLast);
CString UrlAndPort(const CString& url, int port);
BOOL FEqual(double a, double b);
CString StringFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
CString TrimWhite(const CString& text);
