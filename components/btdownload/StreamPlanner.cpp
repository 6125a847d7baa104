#include "StreamPlanner.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <utility>

namespace {
bool ParseNumber(const std::string& text, std::int64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

std::string Trimmed(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  const size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

std::string LowerExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  std::string ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}
}  // namespace

ERangeAnswer ParseRange(const std::string& header, std::int64_t size, SByteRange& range) {
  range = SByteRange{0, size - 1};
  const std::string value = Trimmed(header);
  const std::string unit = "bytes=";
  if (value.size() <= unit.size() || value.compare(0, unit.size(), unit) != 0)
    return ERangeAnswer::kWhole;
  const std::string spec = Trimmed(value.substr(unit.size()));
  if (spec.find(',') != std::string::npos) return ERangeAnswer::kWhole;
  const size_t dash = spec.find('-');
  if (dash == std::string::npos) return ERangeAnswer::kWhole;
  const std::string from = Trimmed(spec.substr(0, dash));
  const std::string to = Trimmed(spec.substr(dash + 1));
  std::int64_t a = 0;
  std::int64_t b = 0;
  if (from.empty()) {
    // The last b bytes.
    if (!ParseNumber(to, b)) return ERangeAnswer::kWhole;
    if (b == 0 || size == 0) return ERangeAnswer::kUnsatisfiable;
    range = SByteRange{std::max<std::int64_t>(0, size - b), size - 1};
    return ERangeAnswer::kPart;
  }
  if (!ParseNumber(from, a)) return ERangeAnswer::kWhole;
  if (to.empty()) {
    b = size - 1;
  } else if (!ParseNumber(to, b) || b < a) {
    return ERangeAnswer::kWhole;
  }
  if (a >= size) return ERangeAnswer::kUnsatisfiable;
  range = SByteRange{a, std::min(b, size - 1)};
  return ERangeAnswer::kPart;
}

std::string PercentEncode(const std::string& utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string VideoContentType(const std::string& fileName) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {"mkv", "video/x-matroska"},
      {"mp4", "video/mp4"},
      {"m4v", "video/mp4"},
      {"avi", "video/x-msvideo"},
      {"webm", "video/webm"},
      {"mov", "video/quicktime"},
      {"ts", "video/mp2t"},
      {"m2ts", "video/mp2t"},
      {"flv", "video/x-flv"},
      {"wmv", "video/x-ms-wmv"},
      {"mpg", "video/mpeg"},
      {"mpeg", "video/mpeg"},
      {"ogv", "video/ogg"},
      {"3gp", "video/3gpp"},
      {"rmvb", "application/vnd.rn-realmedia-vbr"},
      {"rm", "application/vnd.rn-realmedia"},
  };
  const std::string ext = LowerExtension(fileName);
  for (const auto& type : kTypes) {
    if (ext == type.first) return type.second;
  }
  return "application/octet-stream";
}

int WindowPieces(int pieceBytes) {
  if (pieceBytes <= 0) return 4;
  return std::max(4, (8 << 20) / pieceBytes);
}
