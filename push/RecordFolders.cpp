#include "push/RecordFolders.h"

#include <cstdlib>

#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/desktop/FileSystem.h"

namespace {
// The elements of an absolute path; false for a relative one or one that
// climbs with "." or "..".
bool SplitAbsolute(const CString& path, std::vector<CString>& parts) {
  parts.clear();
  if (path.empty() || path[0] != '/') return false;
  size_t pos = 1;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == CString::npos) slash = path.size();
    const CString part = path.substr(pos, slash - pos);
    if (part == "." || part == "..") return false;
    if (!part.empty()) parts.push_back(part);
    pos = slash + 1;
  }
  return true;
}

CString Join(const std::vector<CString>& parts, size_t count) {
  CString out;
  for (size_t i = 0; i < count; ++i) out += "/" + parts[i];
  return out.empty() ? CString("/") : out;
}

CString Normal(const CString& path) {
  std::vector<CString> parts;
  return SplitAbsolute(path, parts) ? Join(parts, parts.size()) : CString();
}

// a equals b or holds it.
bool Holds(const CString& a, const CString& b) {
  if (a.empty() || b.empty()) return false;
  if (a == "/" || a == b) return true;
  return b.size() > a.size() && b.compare(0, a.size(), a) == 0 && b[a.size()] == '/';
}
}  // namespace

bool IsOwnRecordFolder(const CString& folder, const CString& saveFolder, const CString& ownName) {
  std::vector<CString> parts;
  if (!SplitAbsolute(folder, parts) || parts.empty()) return false;
  const CString path = Join(parts, parts.size());
  const CString parent = Join(parts, parts.size() - 1);
  const CString save = Normal(saveFolder);
  const char* home = std::getenv("HOME");
  const CString homeFolder = home ? Normal(Utf8ToGBK(home)) : CString();
  for (const CString& kept : {save, homeFolder, Normal(GetExePath(0))})
    if (Holds(path, kept)) return false;
  if (!save.empty() && parent == save) return true;
  // An earlier save folder: only the record's own folder, reached without links.
  if (ownName.empty() || parts.back() != ownName) return false;
  if (parent == "/" || parent == homeFolder) return false;
  return RealPath(parent) == parent;
}

std::vector<CString> PlayableFiles(const CString& folder) {
  std::vector<CString> large;
  CString largest;
  int64_t largestSize = -1;
  for (const CString& name : ListFolder(folder)) {
    int64_t size = 0;
    if (!RegularFileSize(folder + "/" + name, size)) continue;
    if (size >= kMinPlayableBytes) large.push_back(name);
    if (size > largestSize) {
      largestSize = size;
      largest = name;
    }
  }
  if (large.empty() && largestSize >= 0) large.push_back(largest);
  return large;
}
