#pragma once
#include "zenuModule/src/Types.h"

// The start-at-login entry "zenu" holding the program's command line.
class CWinReg final {
 public:
  BOOL IsAutoStart();
  BOOL SetAutoStart();
  BOOL CleanAutoStart();
  BOOL ProcessAutoStartFlag(BOOL bOn);

  // The command line the entry runs: program, " -AUTO ", the port part.
  static CString AutoStartCommand();
};
