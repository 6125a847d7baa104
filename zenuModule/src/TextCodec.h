#pragma once
#include "Types.h"

// Conversions between the program's GBK text and UTF-8. Bytes that do not form
// a character of the source encoding, and characters GBK lacks, become '?'.
void ConvertGBKToUtf8(CString& text);
void ConvertUtf8ToGBK(CString& text);
CString GBKToUtf8(const CString& gbk);
CString Utf8ToGBK(const CString& utf8);
