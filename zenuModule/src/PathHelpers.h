#pragma once
#include "Types.h"

// mode 1: the program file; any other mode: the program folder ending in '/'
// (VADEKO_HOME, when set, names the program folder instead; an installed
// program's folder is $XDG_DATA_HOME/vadeko/).
CString GetExePath(int mode);
// An installed program: its executable in <prefix>/bin/ with <prefix>/share/vadeko/
// beside it. That share folder (ending in '/'), or empty for a build tree or an
// unpacked program.
CString InstalledShareFolderOf(const CString& exeFile);
CString GetInstalledShareFolder();
void CheckFolder(CString path, int start);
bool DeleteDirectory(const CString& path);
