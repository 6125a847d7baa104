#include "zenuModule/src/desktop/IniFile.h"

#include <cstdlib>
#include <vector>

#include "zenuModule/src/desktop/FileSystem.h"

namespace {

const char kBlank[] = " \t";

CString Trim(const CString& text) {
  const auto first = text.find_first_not_of(kBlank);
  if (first == CString::npos) return CString();
  return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

// ASCII letters fold; the second byte of a GBK character never does, so two
// different Chinese names cannot compare equal.
bool SameName(const CString& a, const CString& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if (ca >= 0x81 && ca <= 0xFE && i + 1 < a.size()) {
      if (ca != cb || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    const auto la = (ca >= 'A' && ca <= 'Z') ? ca + 32 : ca;
    const auto lb = (cb >= 'A' && cb <= 'Z') ? cb + 32 : cb;
    if (la != lb) return false;
  }
  return true;
}

struct SLine {
  CString strText;  // without its line end
  CString strEnd;   // "\n", "\r\n" or "" for a last line without one
};

std::vector<SLine> SplitLines(const CString& content) {
  std::vector<SLine> lines;
  size_t from = 0;
  while (from < content.size()) {
    const auto nl = content.find('\n', from);
    SLine line;
    if (nl == CString::npos) {
      line.strText = content.substr(from);
      from = content.size();
    } else {
      line.strText = content.substr(from, nl - from);
      line.strEnd = "\n";
      from = nl + 1;
    }
    if (!line.strText.empty() && line.strText.back() == '\r') {
      line.strText.pop_back();
      line.strEnd = line.strEnd.empty() ? "\r" : "\r\n";
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

// The section name of a "[name]" line.
bool SectionOf(const CString& line, CString* name) {
  const CString t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const auto close = t.find(']');
  if (close == CString::npos) return false;
  *name = Trim(t.substr(1, close - 1));
  return true;
}

// The key and raw value of a "key=value" line; comments do not count.
bool KeyOf(const CString& line, CString* key, CString* value) {
  const CString t = Trim(line);
  if (t.empty() || t.front() == ';') return false;
  const auto eq = t.find('=');
  if (eq == CString::npos) return false;
  *key = Trim(t.substr(0, eq));
  if (value) *value = Trim(t.substr(eq + 1));
  return true;
}

struct SPlace {
  bool bSection = false;
  size_t uSectionLine = 0;
  size_t uInsertAt = 0;  // after the section's last non-blank line
  bool bKey = false;
  size_t uKeyLine = 0;
  CString strValue;
};

SPlace Find(const std::vector<SLine>& lines, const CString& section, const CString& key) {
  SPlace place;
  bool inside = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    CString name;
    if (SectionOf(lines[i].strText, &name)) {
      if (inside) break;  // the first matching section is the one that counts
      if (SameName(name, section)) {
        inside = true;
        place.bSection = true;
        place.uSectionLine = i;
        place.uInsertAt = i + 1;
      }
      continue;
    }
    if (!inside) continue;
    if (!Trim(lines[i].strText).empty()) place.uInsertAt = i + 1;
    CString k;
    CString v;
    if (KeyOf(lines[i].strText, &k, &v) && SameName(k, key)) {
      place.bKey = true;
      place.uKeyLine = i;
      place.strValue = v;
      return place;
    }
  }
  return place;
}

CString Join(const std::vector<SLine>& lines) {
  CString out;
  for (const auto& line : lines) out += line.strText + line.strEnd;
  return out;
}

// Written beside the file and renamed over it, so that a failed write never
// leaves half a file behind.
bool Store(const CString& file, const std::vector<SLine>& lines) {
  const CString temp = file + ".tmp";
  if (!WriteWholeFile(temp, Join(lines))) {
    RemoveFile(temp);
    return false;
  }
  if (!RenamePath(temp, file)) {
    RemoveFile(temp);
    return false;
  }
  return true;
}

bool HasLineBreak(const CString& text) { return text.find_first_of("\r\n") != CString::npos; }

}  // namespace

CString IniGetString(const CString& file, const CString& section, const CString& key,
                     const CString& defaultValue, size_t bufferSize) {
  CString value = defaultValue;
  CString content;
  if (ReadWholeFile(file, content)) {
    const SPlace place = Find(SplitLines(content), section, key);
    if (place.bKey) {
      value = place.strValue;
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
    }
  }
  const size_t limit = bufferSize > 0 ? bufferSize - 1 : 0;
  if (value.size() > limit) value.resize(limit);
  return value;
}

int IniGetInt(const CString& file, const CString& section, const CString& key, int defaultValue) {
  const CString marker = "\x01";
  const CString value = IniGetString(file, section, key, marker);
  if (value == marker) return defaultValue;
  return std::atoi(value.c_str());
}

bool IniWriteString(const CString& file, const CString& section, const CString& key,
                    const CString& value) {
  if (Trim(section).empty() || Trim(key).empty()) return false;
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  CString content;
  ReadWholeFile(file, content);
  std::vector<SLine> lines = SplitLines(content);
  const CString end = content.find("\r\n") != CString::npos ? "\r\n" : "\n";
  const SPlace place = Find(lines, section, key);
  const CString entry = Trim(key) + "=" + value;
  if (place.bKey) {
    lines[place.uKeyLine].strText = entry;
    if (lines[place.uKeyLine].strEnd.empty()) lines[place.uKeyLine].strEnd = end;
  } else if (place.bSection) {
    if (place.uInsertAt > 0 && lines[place.uInsertAt - 1].strEnd.empty()) {
      lines[place.uInsertAt - 1].strEnd = end;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(place.uInsertAt), SLine{entry, end});
  } else {
    if (!lines.empty() && lines.back().strEnd.empty()) lines.back().strEnd = end;
    lines.push_back(SLine{"[" + Trim(section) + "]", end});
    lines.push_back(SLine{entry, end});
  }
  return Store(file, lines);
}

bool IniDeleteKey(const CString& file, const CString& section, const CString& key) {
  CString content;
  if (!ReadWholeFile(file, content)) return true;
  std::vector<SLine> lines = SplitLines(content);
  const SPlace place = Find(lines, section, key);
  if (!place.bKey) return true;
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(place.uKeyLine));
  return Store(file, lines);
}
