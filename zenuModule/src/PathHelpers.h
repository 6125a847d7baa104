#pragma once
#include "Types.h"

// mode 1: the program file; any other mode: the program folder ending in '/'
// (VADEKO_HOME, when set, names the program folder instead).
CString GetExePath(int mode);
void CheckFolder(CString path, int start);
bool DeleteDirectory(const CString& path);
