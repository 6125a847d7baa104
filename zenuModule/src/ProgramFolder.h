#pragma once
#include "Types.h"

// An installed program keeps its read-only files (pages, help, the placeholder
// bulletin, UI.ini, skin) under <prefix>/share/vadeko/ and its own files in the
// user's folder. Links from the program folder to the read-only ones keep every
// path below the program folder meaning what it means in an unpacked program.
// Links that point elsewhere are renewed; a real file or folder of the same
// name is the user's and stays.
void LinkReadOnlyFiles(const CString& shareFolder, const CString& programFolder);
// Creates the installed program's folder and its links; nothing otherwise.
void PrepareProgramFolder();
