#pragma once
#include "../Types.h"

class IMessageLoop;
class IMessageBox;

// The desktop services the core uses, installed once at start-up (or by a test).
// The core never owns them.
class CPlatform final {
 public:
  static IMessageLoop* Loop();
  // The thread that installs the loop is the one that runs it.
  static void SetLoop(IMessageLoop* loop);
  static bool IsLoopThread();
  static IMessageBox* MessageBox();
  static void SetMessageBox(IMessageBox* box);
  static bool IsMainWindowCreated();
  static void SetMainWindowCreated(bool created);
};

// Every message box of the program passes here. Without an installed box (the
// helper processes) the text goes to standard error and IDOK is returned.
int ShowMessageBox(const CString& text, unsigned type = 0);
