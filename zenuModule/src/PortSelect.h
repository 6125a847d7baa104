#pragma once
#include "Types.h"

// type 1 = TCP, any other value = UDP.
BOOL IsReservedPort(int port, int type);
int DetectAndSelectPort(int port, int type);
