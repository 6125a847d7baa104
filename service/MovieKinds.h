#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zenu {

struct MovieKind final {
  int id;
  const char* name;  // UTF-8
};

class MovieKinds final {
 public:
  static const std::vector<MovieKind>& All();
  static std::optional<std::string> Name(int id);
  // Accepts a kind id in decimal or its Chinese name.
  static std::optional<int> Parse(const std::string& text);
  // A genre as film libraries write it, English (any case) or Chinese, with or without "片":
  // "Science Fiction", "Sci-Fi", "科幻片". Thriller and suspense count as 悬疑, adventure as 动作.
  static std::optional<int> FromGenre(const std::string& text);
};

}  // namespace zenu
