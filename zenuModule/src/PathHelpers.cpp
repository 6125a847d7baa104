#include "PathHelpers.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "OperationWrapper.h"
#include "StringHelpers.h"
#include "TextCodec.h"
#include "desktop/FileSystem.h"

namespace {
CString ProgramFile() {
  char buf[PATH_MAX] = {0};
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? Utf8ToGBK(CString(buf, static_cast<size_t>(n))) : CString();
}

void DeleteTree(const CString& sysPath) {
  if (DIR* dir = ::opendir(sysPath.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      const CString name = entry->d_name;
      if (name == "." || name == "..") continue;
      const CString child = sysPath + "/" + name;
      struct stat st {};
      if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        DeleteTree(child);
      } else {
        ::unlink(child.c_str());
      }
    }
    ::closedir(dir);
  }
  ::rmdir(sysPath.c_str());
}
}  // namespace

CString InstalledShareFolderOf(const CString& exeFile) {
  const CString exeFolder = LeftInStr(exeFile, "/", TRUE);
  const size_t slash = exeFolder.rfind('/');
  if (slash == CString::npos || exeFolder.substr(slash + 1) != "bin") return CString();
  const CString share = exeFolder.substr(0, slash) + "/share/vadeko/";
  return IsFolder(share) ? share : CString();
}

CString GetInstalledShareFolder() {
  // The layout does not change while the program runs.
  static const CString share = InstalledShareFolderOf(ProgramFile());
  return share;
}

CString GetExePath(int mode) {
  OP_BEGIN("GetExePath")
  if (mode == 1) return ProgramFile();
  if (const char* home = std::getenv("VADEKO_HOME"); home && *home) {
    CString folder = Utf8ToGBK(home);
    if (folder.back() != '/') folder += '/';
    return folder;
  }
  // An installed program never writes below its prefix: its folder is the user's.
  if (!GetInstalledShareFolder().empty()) {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const CString data =
        xdg && *xdg == '/' ? CString(xdg) : CString(home ? home : "") + "/.local/share";
    return Utf8ToGBK(data) + "/vadeko/";
  }
  return LeftInStr(ProgramFile(), "/", TRUE) + "/";
  OP_END
}

void CheckFolder(CString path, int start) {
  OP_BEGIN("CheckFolder")
  if (start < 5 && (path.empty() || path.back() != '/')) path += '/';
  size_t from = start < 0 ? 0 : static_cast<size_t>(start);
  for (;;) {
    const auto pos = path.find('/', from);
    if (pos == CString::npos) break;
    if (pos >= 1) {
      const CString folder = path.substr(0, pos);
      if (!PathExists(folder)) MakeFolder(folder);
    }
    from = pos + 1;
  }
  OP_END
}

bool DeleteDirectory(const CString& path) {
  OP_BEGIN("DeleteDirectory")
  CString sys = ToSysPath(path);
  while (sys.size() > 1 && sys.back() == '/') sys.pop_back();
  // Never descend through a link: only the link itself goes.
  struct stat st {};
  if (::lstat(sys.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
    ::unlink(sys.c_str());
  } else {
    DeleteTree(sys);
  }
  return true;
  OP_END
}
