#pragma once
#include "zenuModule/src/Types.h"

// What start-up asks of the desktop framework the program runs on.
class IAppFramework {
 public:
  virtual ~IAppFramework() = default;
  // The automation bus the program publishes itself on and drives its
  // components through; FALSE when it cannot be reached.
  virtual BOOL InitAutomation() = 0;
  // The main frame, created hidden; FALSE on failure.
  virtual BOOL CreateMainFrame() = 0;
  // The shell's new-document command: opens the first push pane.
  virtual BOOL RunShellCommand() = 0;
};
