#include "StringHelpers.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

CString URLEncode(const CString& text) {
  static const char kHex[] = "0123456789ABCDEF";
  CString out;
  out.reserve(text.size() * 3);
  for (unsigned char c : text) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '/' || c == '_';
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

CString LeftInStr(const CString& text, const CString& sep, BOOL bLast) {
  if (sep.empty()) return CString();
  const auto pos = bLast ? text.rfind(sep) : text.find(sep);
  return pos == CString::npos ? CString() : text.substr(0, pos);
}

CString UrlAndPort(const CString& url, int port) {
  if (port == 80) return url;
  CString copy = url;
  const auto scheme = copy.find("://");
  if (scheme != CString::npos) copy.replace(scheme, 3, ":__");
  // The port goes where the host ends: before the path or, without one, the query.
  // A '/' inside the query does not count as the start of a path.
  auto at = copy.find_first_of("/?");
  if (at == CString::npos || at == 0) at = url.size();
  return url.substr(0, at) + ":" + std::to_string(port) + url.substr(at);
}

BOOL FEqual(double a, double b) { return (a > b - 0.00001 && a < b + 0.00001) ? TRUE : FALSE; }

CString StringFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  CString out;
  if (n > 0) {
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    out.assign(buf.data(), static_cast<size_t>(n));
  }
  va_end(args);
  return out;
}

CString TrimWhite(const CString& text) {
  static const char kWhite[] = " \t\r\n\v\f";
  const auto first = text.find_first_not_of(kWhite);
  if (first == CString::npos) return CString();
  const auto last = text.find_last_not_of(kWhite);
  return text.substr(first, last - first + 1);
}
