#pragma once
#include "zenuModule/src/Types.h"

// A test's program folder laid out like an installed program whose user
// "tester" logged in before (automatic login): the pages, help, placeholder
// bulletin and UI settings of the built program linked in. False when a link
// cannot be made.
bool LayOutProgramFolder(const CString& home, const CString& builtProgramDir);
