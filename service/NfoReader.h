#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zenu {

struct NfoInfo final {
  std::string title;  // UTF-8; empty when the file names none
  int year = 0;
  std::vector<int> kinds;
  std::string plot;
};

// Kodi-style movie .nfo files: <movie><title/><year/><genre/>...<plot/></movie>. Files that
// are not such XML (a bare IMDb link, say) give nothing.
class NfoReader final {
 public:
  static constexpr size_t kMaxBytes = 1 << 20;
  static std::optional<NfoInfo> Read(const std::string& path);
  static std::optional<NfoInfo> Parse(const std::string& text);
};

}  // namespace zenu
