#include "ProgramFolder.h"

#include "OperationWrapper.h"
#include "PathHelpers.h"
#include "desktop/FileSystem.h"

void LinkReadOnlyFiles(const CString& shareFolder, const CString& programFolder) {
  OP_BEGIN("LinkReadOnlyFiles")
  CheckFolder(programFolder, 1);
  for (const char* name : {"root", "help", "DATA", "UI.ini", "skin"}) {
    const CString target = shareFolder + name;
    const CString link = programFolder + name;
    if (!PathExists(target)) continue;
    const CString current = LinkTarget(link);
    if (current == target) continue;
    if (current.empty() && (PathExists(link) || IsFolder(link))) continue;
    if (!current.empty()) RemoveFile(link);
    MakeLink(target, link);
  }
  OP_END
}

void PrepareProgramFolder() {
  OP_BEGIN("PrepareProgramFolder")
  const CString share = GetInstalledShareFolder();
  if (!share.empty()) LinkReadOnlyFiles(share, GetExePath(0));
  OP_END
}
