#include "MovieKinds.h"

#include <algorithm>
#include <cctype>
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

std::optional<int> MovieKinds::FromGenre(const std::string& text) {
  std::string key;
  for (char c : text) {
    if (c == ' ' || c == '-' || c == '_' || c == '.') continue;
    key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  const std::string piece = "片";
  if (key.size() > piece.size() &&
      key.compare(key.size() - piece.size(), piece.size(), piece) == 0) {
    key.resize(key.size() - piece.size());
  }
  static const std::pair<const char*, int> kGenres[] = {
      {"action", 1},         {"adventure", 1}, {"冒险", 1},         {"comedy", 2},
      {"romance", 3},        {"romantic", 3},  {"love", 3},         {"scifi", 4},
      {"sciencefiction", 4}, {"sf", 4},        {"horror", 5},       {"drama", 6},
      {"animation", 7},      {"animated", 7},  {"anime", 7},        {"cartoon", 7},
      {"动漫", 7},           {"mystery", 8},   {"thriller", 8},     {"suspense", 8},
      {"惊悚", 8},           {"war", 9},       {"documentary", 10}, {"纪录", 10},
      {"记录", 10},          {"crime", 11},    {"fantasy", 12},     {"魔幻", 12},
  };
  for (const auto& [name, id] : kGenres) {
    if (key == name) return id;
  }
  for (const auto& kind : All()) {
    if (key == kind.name) return kind.id;
  }
  return std::nullopt;
}

}  // namespace zenu
