#include "MovieKinds.h"

#include <cstdlib>

namespace zenu {

const std::vector<MovieKind>& MovieKinds::All() {
  static const std::vector<MovieKind> kinds = {
      {1, "动作"}, {2, "喜剧"}, {3, "爱情"}, {4, "科幻"},  {5, "恐怖"},  {6, "剧情"},
      {7, "动画"}, {8, "悬疑"}, {9, "战争"}, {10, "纪录"}, {11, "犯罪"}, {12, "奇幻"},
  };
  return kinds;
}

std::optional<std::string> MovieKinds::Name(int id) {
  for (const auto& kind : All()) {
    if (kind.id == id) return std::string(kind.name);
  }
  return std::nullopt;
}

std::optional<int> MovieKinds::Parse(const std::string& text) {
  if (text.empty()) return std::nullopt;
  if (text.find_first_not_of("0123456789") == std::string::npos && text.size() < 4) {
    int id = std::atoi(text.c_str());
    if (Name(id)) return id;
    return std::nullopt;
  }
  for (const auto& kind : All()) {
    if (text == kind.name) return kind.id;
  }
  return std::nullopt;
}

}  // namespace zenu
