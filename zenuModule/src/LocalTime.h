#pragma once
#include "Types.h"

// Current local time as "%Y-%m-%d %H:%M:%S", the stamp of every log line.
CString FormatNowLocal();
