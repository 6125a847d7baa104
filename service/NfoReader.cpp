#include "NfoReader.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "GbkText.h"
#include "MovieKinds.h"

namespace zenu {
namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::string ChildText(const tinyxml2::XMLElement* parent, const char* name) {
  const tinyxml2::XMLElement* e = parent->FirstChildElement(name);
  return e && e->GetText() ? Trim(e->GetText()) : "";
}

int YearOf(const std::string& text) {
  if (text.size() < 4 || !std::all_of(text.begin(), text.begin() + 4, ::isdigit)) return 0;
  int year = std::atoi(text.substr(0, 4).c_str());
  return year >= 1888 && year <= 2099 ? year : 0;
}

}  // namespace

std::optional<NfoInfo> NfoReader::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kMaxBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (static_cast<size_t>(in.gcount()) > kMaxBytes) return std::nullopt;
  text.resize(static_cast<size_t>(in.gcount()));
  return Parse(text);
}

std::optional<NfoInfo> NfoReader::Parse(const std::string& text) {
  tinyxml2::XMLDocument doc;
  if (doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) return std::nullopt;
  const tinyxml2::XMLElement* root = doc.RootElement();
  if (!root) return std::nullopt;
  NfoInfo info;
  info.title = ChildText(root, "title");
  info.year = YearOf(ChildText(root, "year"));
  if (info.year == 0) info.year = YearOf(ChildText(root, "premiered"));
  info.plot = ChildText(root, "plot");
  if (info.plot.empty()) info.plot = ChildText(root, "outline");
  for (auto* g = root->FirstChildElement("genre"); g; g = g->NextSiblingElement("genre")) {
    std::string list = g->GetText() ? g->GetText() : "";
    // One element may carry several: "Action / Comedy", "剧情、爱情".
    for (const char* sep : {"/", ",", "|", "、", "，"}) {
      for (size_t at; (at = list.find(sep)) != std::string::npos;)
        list.replace(at, strlen(sep), "\n");
    }
    size_t from = 0;
    while (from <= list.size()) {
      size_t end = list.find('\n', from);
      if (end == std::string::npos) end = list.size();
      if (auto kind = MovieKinds::FromGenre(Trim(list.substr(from, end - from)))) {
        if (std::find(info.kinds.begin(), info.kinds.end(), *kind) == info.kinds.end()) {
          info.kinds.push_back(*kind);
        }
      }
      from = end + 1;
    }
  }
  // Names and plots become pages and GBK records: bad UTF-8 is dropped, not passed on.
  if (!GbkText::IsValidUtf8(info.title)) info.title.clear();
  if (!GbkText::IsValidUtf8(info.plot)) info.plot.clear();
  if (info.title.size() > 300) info.title.resize(0);
  if (info.plot.size() > 8000) info.plot.clear();
  return info;
}

}  // namespace zenu
