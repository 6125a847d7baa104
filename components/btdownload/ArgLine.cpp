#include "ArgLine.h"

#include <charconv>
#include <climits>

std::vector<std::string> SplitArgLine(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string word;
    bool quoted = false;
    while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      const bool escape = quoted && line[i] == '\\' && i + 1 < line.size() &&
                          (line[i + 1] == '"' || line[i + 1] == '\\');
      if (escape) {
        word += line[++i];
      } else if (line[i] == '"') {
        quoted = !quoted;
      } else {
        word += line[i];
      }
      ++i;
    }
    words.push_back(word);
  }
  return words;
}

namespace {
bool ParseNumber(const std::string& text, int max, int& number) {
  int value = 0;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
  if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return false;
  if (value < 0 || value > max) return false;
  number = value;
  return true;
}

// Above this libtorrent's bytes per second overflow; no line is that fast anyway.
constexpr int kMaxRateLimitKB = INT_MAX / 1024;
}  // namespace

bool ParseArgLine(const std::string& line, SArgLine& out, std::string& error) {
  out = SArgLine();
  const std::vector<std::string> words = SplitArgLine(line);
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& key = words[i];
    const bool hasValue = i + 1 < words.size();
    if (key == "--responsefile" || key == "--saveas" || key == "--minport" || key == "--maxport" ||
        key == "--ratelimit" || key == "--service" || key == "--tracker") {
      if (!hasValue) {
        error = "参数 " + key + " 缺少值";
        return false;
      }
      const std::string& value = words[++i];
      if (key == "--responsefile") {
        out.torrentFile = value;
      } else if (key == "--saveas") {
        out.saveFolder = value;
      } else if (key == "--service") {
        out.service = value;
      } else if (key == "--tracker") {
        out.tracker = value;
      } else if (key == "--ratelimit") {
        if (!ParseNumber(value, INT_MAX, out.rateLimitKB)) {
          error = "限速值无效: " + value;
          return false;
        }
        if (out.rateLimitKB > kMaxRateLimitKB) out.rateLimitKB = 0;
      } else if (!ParseNumber(value, 65535, key == "--minport" ? out.minPort : out.maxPort)) {
        error = "端口无效: " + value;
        return false;
      }
    }
  }
  if (out.torrentFile.empty()) {
    error = "缺少种子文件 (--responsefile)";
    return false;
  }
  if (out.saveFolder.empty()) {
    error = "缺少保存位置 (--saveas)";
    return false;
  }
  if (out.maxPort < out.minPort) out.maxPort = out.minPort;
  return true;
}
