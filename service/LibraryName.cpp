#include "LibraryName.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "MovieKinds.h"

namespace zenu {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> Split(const std::string& path, char sep) {
  std::vector<std::string> parts;
  size_t from = 0;
  while (from <= path.size()) {
    size_t at = path.find(sep, from);
    if (at == std::string::npos) at = path.size();
    if (at > from) parts.push_back(path.substr(from, at - from));
    from = at + 1;
  }
  return parts;
}

std::string Stem(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool IsAsciiAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// Words that start the technical tail of a release name.
bool IsReleaseTag(const std::string& word) {
  static const char* const kTags[] = {
      "1080p", "720p",   "2160p", "480p",   "4k",      "uhd",     "bluray", "blu-ray",  "bdrip",
      "brrip", "bd",     "hd",    "webrip", "web-dl",  "webdl",   "web",    "hdtv",     "dvdrip",
      "dvd",   "x264",   "x265",  "h264",   "h.264",   "h265",    "hevc",   "xvid",     "aac",
      "ac3",   "dts",    "remux", "hdr",    "10bit",   "proper",  "repack", "extended", "unrated",
      "hdrip", "dvdscr", "cam",   "ts",     "limited", "internal"};
  std::string w = Lower(word);
  for (const char* tag : kTags) {
    if (w == tag) return true;
  }
  // "BD1080p", "HD720P", "1080P蓝光" and the like.
  return w.find("1080p") != std::string::npos || w.find("720p") != std::string::npos ||
         w.find("2160p") != std::string::npos;
}

bool HasNonAscii(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return (c & 0x80) != 0; });
}

std::string TrimSeparators(const std::string& s) {
  static const std::string kAscii = " .-_([{)]}";
  // Full-width brackets and spaces, as UTF-8.
  static const char* const kWide[] = {"（", "）", "【", "】", "　", "《", "》", "：", "-"};
  std::string out = s;
  bool changed = true;
  while (changed && !out.empty()) {
    changed = false;
    if (kAscii.find(out.back()) != std::string::npos) {
      out.pop_back();
      changed = true;
    }
    if (!out.empty() && kAscii.find(out.front()) != std::string::npos) {
      out.erase(0, 1);
      changed = true;
    }
    for (const char* w : kWide) {
      std::string wide = w;
      if (out.size() >= wide.size() &&
          out.compare(out.size() - wide.size(), wide.size(), wide) == 0) {
        out.resize(out.size() - wide.size());
        changed = true;
      }
      if (out.size() >= wide.size() && out.compare(0, wide.size(), wide) == 0) {
        out.erase(0, wide.size());
        changed = true;
      }
    }
  }
  return out;
}

std::string CollapseSpaces(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// A Chinese title followed by its English one keeps the Chinese part: everything up to the
// last word with a Chinese character.
std::string PreferChinese(const std::string& title) {
  std::vector<std::string> words = Split(title, ' ');
  size_t last = words.size();
  for (size_t i = 0; i < words.size(); ++i) {
    if (HasNonAscii(words[i])) last = i;
  }
  if (last == words.size() || last + 1 == words.size()) return title;
  std::string out;
  for (size_t i = 0; i <= last; ++i) out += (i ? " " : "") + words[i];
  return out;
}

bool IsGenericStem(const std::string& stem) {
  static const char* const kGeneric[] = {"movie", "film", "video", "feature", "main", "index"};
  std::string s = Lower(stem);
  for (const char* g : kGeneric) {
    if (s == g) return true;
  }
  return false;
}

}  // namespace

bool LibraryName::IsVideo(const std::string& fileName) {
  static const char* const kExtensions[] = {"mkv", "mp4",  "avi", "m4v",  "mov", "wmv",
                                            "ts",  "webm", "mpg", "mpeg", "flv", "rmvb"};
  size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || dot == 0) return false;
  std::string ext = Lower(fileName.substr(dot + 1));
  for (const char* e : kExtensions) {
    if (ext == e) return true;
  }
  return false;
}

bool LibraryName::IsSample(const std::string& relativePath) {
  std::vector<std::string> parts = Split(relativePath, '/');
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    std::string dir = Lower(parts[i]);
    if (dir == "sample" || dir == "samples" || dir == "trailer" || dir == "trailers") return true;
  }
  if (parts.empty()) return false;
  const std::string stem = Lower(Stem(parts.back()));
  // A word of its own, numbered or not ("trailer2"), not part of a title word ("Samplers").
  for (const std::string word : {"sample", "trailer"}) {
    size_t at = 0;
    while ((at = stem.find(word, at)) != std::string::npos) {
      const size_t end = at + word.size();
      bool left = at == 0 || !IsAsciiAlnum(stem[at - 1]);
      bool right = end == stem.size() || !std::isalpha(static_cast<unsigned char>(stem[end]));
      if (left && right) return true;
      at = end;
    }
  }
  return false;
}

NameGuess LibraryName::ParseStem(const std::string& stemIn) {
  std::string stem = stemIn;
  // Leading tags of download sites: "[电影天堂www.xxx.com]", "【高清】".
  for (bool again = true; again;) {
    again = false;
    size_t lead = stem.find_first_not_of(" ._-");
    stem.erase(0, lead == std::string::npos ? stem.size() : lead);
    for (auto [open, close] : {std::pair<std::string, std::string>{"[", "]"}, {"【", "】"}}) {
      if (stem.compare(0, open.size(), open) != 0) continue;
      size_t end = stem.find(close);
      if (end == std::string::npos || end + close.size() >= stem.size()) continue;
      stem.erase(0, end + close.size());
      again = true;
    }
  }
  // Scene names separate words with dots; names with spaces keep their dots ("Mr. Smith").
  bool spaced = stem.find(' ') != std::string::npos;
  for (char& c : stem) {
    if (c == '_' || (!spaced && c == '.')) c = ' ';
  }
  NameGuess guess;
  // The last year that stands alone and has some title before it ("Blade Runner 2049 (2017)",
  // "1917 (2019)"); "1920x1080" is no year.
  for (size_t at = 0; at + 4 <= stem.size(); ++at) {
    bool digits = std::all_of(stem.begin() + at, stem.begin() + at + 4,
                              [](char c) { return c >= '0' && c <= '9'; });
    if (!digits) continue;
    if (at > 0 && IsAsciiAlnum(stem[at - 1])) continue;
    if (at + 4 < stem.size() && IsAsciiAlnum(stem[at + 4])) continue;
    int year = std::atoi(stem.substr(at, 4).c_str());
    if (year < 1900 || year > 2099) continue;
    std::string before = CollapseSpaces(TrimSeparators(stem.substr(0, at)));
    if (before.empty()) continue;
    guess.year = year;
    guess.title = before;
  }
  if (guess.year == 0) {
    std::vector<std::string> words = Split(stem, ' ');
    std::string title;
    for (const std::string& w : words) {
      if (!title.empty() && IsReleaseTag(w)) break;
      title += (title.empty() ? "" : " ") + w;
    }
    guess.title = CollapseSpaces(TrimSeparators(title));
  }
  guess.title = TrimSeparators(PreferChinese(guess.title));
  return guess;
}

NameGuess LibraryName::Guess(const std::string& relativePath) {
  std::vector<std::string> parts = Split(relativePath, '/');
  if (parts.empty()) return {};
  const std::string stem = Stem(parts.back());
  NameGuess guess = IsGenericStem(stem) ? NameGuess{} : ParseStem(stem);
  // "Title (Year)/title.720p.mkv": the folder knows better when the file name has no year.
  if (guess.year == 0 && parts.size() >= 2 && !MovieKinds::FromGenre(parts[parts.size() - 2])) {
    NameGuess folder = ParseStem(parts[parts.size() - 2]);
    if (folder.year != 0 || guess.title.empty()) guess = folder;
  }
  if (guess.title.empty()) guess.title = stem;
  return guess;
}

std::vector<int> LibraryName::FolderKinds(const std::string& relativePath) {
  std::vector<std::string> parts = Split(relativePath, '/');
  std::vector<int> kinds;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    auto kind = MovieKinds::FromGenre(parts[i]);
    if (kind && std::find(kinds.begin(), kinds.end(), *kind) == kinds.end()) kinds.push_back(*kind);
  }
  return kinds;
}

std::string LibraryName::SafeTitle(const std::string& utf8) {
  std::string out;
  for (char c : utf8) {
    switch (c) {
      case '\'':
        out += "’";
        break;
      case '"':
        out += "”";
        break;
      case '/':
        out += "／";
        break;
      case '\\':
        out += "＼";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
    }
  }
  out = CollapseSpaces(out);
  while (!out.empty() && out.front() == ' ') out.erase(0, 1);
  if (!out.empty() && out.front() == '.') out = "．" + out.substr(1);
  if (out.size() > 200) {
    size_t cut = 200;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  return out;
}

std::string LibraryName::ServedName(const std::string& fileName, const std::string& contentKey) {
  size_t dot = fileName.rfind('.');
  std::string ext = dot == std::string::npos ? "" : Lower(fileName.substr(dot));
  std::string out;
  for (char c : fileName) {
    if ((c & 0x80) != 0) {
      out.clear();
      break;
    }
    if (IsAsciiAlnum(c) || c == '.' || c == '-' || c == '_' || c == '(' || c == ')') {
      out += c;
    } else if (c == ' ' && !out.empty() && out.back() != '.') {
      out += '.';
    }
  }
  if (out.empty() || out[0] == '.' || out.size() > 120) {
    out = "movie_" + contentKey.substr(0, 12) + ext;
  }
  return out;
}

}  // namespace zenu
