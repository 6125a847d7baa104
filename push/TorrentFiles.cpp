#include "push/TorrentFiles.h"

#include <map>
#include <memory>
#include <string>

#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/desktop/FileSystem.h"

namespace {
constexpr int64_t kMaxTorrentBytes = 16 * 1024 * 1024;
constexpr int kMaxDepth = 32;
constexpr size_t kMaxFiles = 100000;

// Just enough of bencoding for the info dictionary: integers, strings, lists, dictionaries.
struct SBValue {
  enum EKind { Int, Str, List, Dict } kind = Int;
  int64_t i = 0;
  std::string s;
  std::vector<SBValue> list;
  std::map<std::string, SBValue> dict;
  const SBValue* Find(const char* key, EKind want) const {
    if (kind != Dict) return nullptr;
    const auto it = dict.find(key);
    return it != dict.end() && it->second.kind == want ? &it->second : nullptr;
  }
};

class CBDecoder final {
 public:
  explicit CBDecoder(const std::string& text) : m_text(text) {}
  bool Parse(SBValue& out) { return Value(out, 0) && m_at == m_text.size(); }

 private:
  bool Number(char end, int64_t& out) {
    const size_t stop = m_text.find(end, m_at);
    if (stop == std::string::npos || stop == m_at || stop - m_at > 19) return false;
    bool negative = m_text[m_at] == '-';
    size_t at = m_at + (negative ? 1 : 0);
    if (at == stop) return false;
    int64_t value = 0;
    for (; at < stop; ++at) {
      const char c = m_text[at];
      if (c < '0' || c > '9') return false;
      if (value > (INT64_MAX - (c - '0')) / 10) return false;
      value = value * 10 + (c - '0');
    }
    out = negative ? -value : value;
    m_at = stop + 1;
    return true;
  }
  bool String(std::string& out) {
    int64_t length = 0;
    if (!Number(':', length) || length < 0 || static_cast<uint64_t>(length) > m_text.size() - m_at)
      return false;
    out = m_text.substr(m_at, static_cast<size_t>(length));
    m_at += static_cast<size_t>(length);
    return true;
  }
  bool Value(SBValue& out, int depth) {
    if (depth > kMaxDepth || m_at >= m_text.size()) return false;
    const char c = m_text[m_at];
    if (c == 'i') {
      ++m_at;
      out.kind = SBValue::Int;
      return Number('e', out.i);
    }
    if (c == 'l' || c == 'd') {
      ++m_at;
      out.kind = c == 'l' ? SBValue::List : SBValue::Dict;
      while (m_at < m_text.size() && m_text[m_at] != 'e') {
        if (out.kind == SBValue::List) {
          out.list.emplace_back();
          if (!Value(out.list.back(), depth + 1)) return false;
        } else {
          std::string key;
          if (!String(key) || !Value(out.dict[key], depth + 1)) return false;
        }
      }
      if (m_at >= m_text.size()) return false;
      ++m_at;
      return true;
    }
    out.kind = SBValue::Str;
    return String(out.s);
  }

  const std::string& m_text;
  size_t m_at = 0;
};

// A path element a file may carry: no separator, not "." or "..", not empty.
bool SafeElement(const std::string& e) {
  return !e.empty() && e != "." && e != ".." && e.find('/') == std::string::npos &&
         e.find('\0') == std::string::npos;
}

CString ToGBK(const std::string& utf8) {
  CString text = utf8;
  ConvertUtf8ToGBK(text);
  return text;
}
}  // namespace

bool ReadTorrentFiles(const CString& torrentFile, std::vector<STorrentFile>& files) {
  files.clear();
  int64_t size = 0;
  CString content;
  if (!RegularFileSize(torrentFile, size) || size > kMaxTorrentBytes ||
      !ReadWholeFile(torrentFile, content))
    return false;
  SBValue root;
  if (!CBDecoder(content).Parse(root)) return false;
  const SBValue* info = root.Find("info", SBValue::Dict);
  const SBValue* name = info ? info->Find("name", SBValue::Str) : nullptr;
  if (!name || !SafeElement(name->s)) return false;
  if (const SBValue* length = info->Find("length", SBValue::Int)) {
    if (length->i < 0) return false;
    files.push_back({ToGBK(name->s), length->i});
    return true;
  }
  const SBValue* list = info->Find("files", SBValue::List);
  if (!list || list->list.size() > kMaxFiles) return false;
  for (const SBValue& entry : list->list) {
    const SBValue* length = entry.Find("length", SBValue::Int);
    const SBValue* path = entry.Find("path", SBValue::List);
    if (!length || length->i < 0 || !path || path->list.empty()) return false;
    std::string joined = name->s;
    for (const SBValue& element : path->list) {
      if (element.kind != SBValue::Str || !SafeElement(element.s)) return false;
      joined += "/" + element.s;
    }
    files.push_back({ToGBK(joined), length->i});
  }
  return !files.empty();
}

bool TorrentMovieFile(const CString& torrentFile, STorrentFile& movie) {
  std::vector<STorrentFile> files;
  if (!ReadTorrentFiles(torrentFile, files)) return false;
  const STorrentFile* largest = nullptr;
  for (const STorrentFile& f : files)
    if (!largest || f.iLength > largest->iLength) largest = &f;
  if (!largest || largest->iLength <= 0) return false;
  movie = *largest;
  return true;
}
