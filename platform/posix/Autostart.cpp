#include "zenuModule/src/desktop/Autostart.h"

#include <cstdlib>
#include <vector>

#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/desktop/FileSystem.h"

namespace {

const char kGroup[] = "[Desktop Entry]";

// Characters that make an Exec argument need quotes (desktop entry rules).
bool NeedsQuotes(const CString& arg) {
  if (arg.empty()) return true;
  return arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != CString::npos;
}

CString QuoteArg(const CString& arg) {
  if (!NeedsQuotes(arg)) return arg;
  CString out = "\"";
  for (char c : arg) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// '%' starts a field code in Exec and must be doubled.
CString EscapePercent(const CString& text) {
  CString out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

CString UnescapePercent(const CString& text) {
  CString out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
  }
  return out;
}

// Escapes of a desktop entry string value.
CString EscapeValue(const CString& text) {
  CString out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

CString UnescapeValue(const CString& text) {
  CString out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    switch (next) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        out += next;
    }
  }
  return out;
}

// Exec with a quoted first argument back to program + rest.
CString UnquoteProgram(const CString& exec) {
  if (exec.empty() || exec.front() != '"') return exec;
  CString program;
  size_t i = 1;
  for (; i < exec.size() && exec[i] != '"'; ++i) {
    if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
    program += exec[i];
  }
  return program + (i + 1 < exec.size() ? exec.substr(i + 1) : CString());
}

CString ConfigHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg && xdg[0] == '/') {
    return Utf8ToGBK(xdg);
  }
  const char* home = std::getenv("HOME");
  return Utf8ToGBK(home && *home ? home : "/tmp") + "/.config";
}

// The keys of the [Desktop Entry] group (UTF-8 values, unescaped later).
std::vector<std::pair<CString, CString>> ReadGroup(const CString& content) {
  std::vector<std::pair<CString, CString>> keys;
  bool inside = false;
  size_t from = 0;
  while (from <= content.size()) {
    auto nl = content.find('\n', from);
    if (nl == CString::npos) nl = content.size();
    CString line = content.substr(from, nl - from);
    from = nl + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inside = line == kGroup;
      continue;
    }
    const auto eq = line.find('=');
    if (!inside || eq == CString::npos) continue;
    CString key = line.substr(0, eq);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    CString value = line.substr(eq + 1);
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    keys.emplace_back(key, value);
  }
  return keys;
}

}  // namespace

CString AutostartEntryPath(const CString& id) {
  return ConfigHome() + "/autostart/" + id + ".desktop";
}

bool WriteAutostartEntry(const CString& id, const CString& displayName, const CString& program,
                         const CString& arguments) {
  const CString path = AutostartEntryPath(id);
  CheckFolder(ConfigHome() + "/autostart/", 1);
  const CString exec = EscapePercent(QuoteArg(program) + " " + arguments);
  CString content = CString(kGroup) + "\n";
  content += "Type=Application\n";
  content += "Name=" + EscapeValue(GBKToUtf8(displayName)) + "\n";
  content += "Exec=" + EscapeValue(GBKToUtf8(exec)) + "\n";
  // Once the program is removed the desktop skips the entry instead of failing.
  content += "TryExec=" + EscapeValue(GBKToUtf8(program)) + "\n";
  content += "Terminal=false\n";
  content += "X-GNOME-Autostart-enabled=true\n";
  const CString temp = path + ".tmp";
  if (!WriteWholeFile(temp, content) || !RenamePath(temp, path)) {
    RemoveFile(temp);
    return false;
  }
  return true;
}

bool ReadAutostartCommand(const CString& id, CString* commandLine) {
  CString content;
  if (!ReadWholeFile(AutostartEntryPath(id), content)) return false;
  CString type;
  CString exec;
  bool hasExec = false;
  bool hidden = false;
  for (const auto& [key, value] : ReadGroup(content)) {
    if (key == "Type") type = value;
    if (key == "Exec") {
      exec = value;
      hasExec = true;
    }
    if ((key == "Hidden" && value == "true") ||
        (key == "X-GNOME-Autostart-enabled" && value == "false")) {
      hidden = true;
    }
  }
  if (type != "Application" || !hasExec || hidden) return false;
  if (commandLine) *commandLine = Utf8ToGBK(UnquoteProgram(UnescapePercent(UnescapeValue(exec))));
  return true;
}

bool RemoveAutostartEntry(const CString& id) { return RemoveFile(AutostartEntryPath(id)); }
