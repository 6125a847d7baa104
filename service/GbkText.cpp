#include "GbkText.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace zenu {
namespace {

std::optional<std::string> Convert(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  std::vector<char> buf(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  bool ok = true;
  while (srcLeft > 0) {
    char* dst = buf.data();
    size_t dstLeft = buf.size();
    size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf.data(), buf.size() - dstLeft);
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      ok = false;
      break;
    }
  }
  iconv_close(cd);
  if (!ok) return std::nullopt;
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> GbkText::ToUtf8(const std::string& gbk) {
  return Convert("UTF-8", "GBK", gbk);
}

std::optional<std::string> GbkText::FromUtf8(const std::string& utf8) {
  return Convert("GBK", "UTF-8", utf8);
}

std::string GbkText::ToUtf8Lossy(const std::string& gbk) {
  if (auto text = ToUtf8(gbk)) return *text;
  std::string out;
  for (size_t i = 0; i < gbk.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(gbk[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    if (i + 1 < gbk.size()) {
      if (auto pair = ToUtf8(gbk.substr(i, 2))) {
        out += *pair;
        ++i;
        continue;
      }
    }
    out += "\xEF\xBF\xBD";
  }
  return out;
}

bool GbkText::IsValidUtf8(const std::string& text) {
  return Convert("UTF-16LE", "UTF-8", text).has_value();
}

std::optional<std::string> GbkText::PercentDecode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int hi = HexValue(text[i + 1]);
    int lo = HexValue(text[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

std::string GbkText::PercentEncode(const std::string& bytes) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '.' || c == '/' || c == '_';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace zenu
