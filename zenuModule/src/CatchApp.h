#pragma once
#include <functional>

#include "Exception.h"

// The application's last-chance handler: every dispatch of the message loop runs
// inside Dispatch, so an error escaping a callback ends the program as described
// to the user instead of tearing it down silently.
class CCatchApp {
 public:
  static BOOL IsExiting();
  // Logs the error, shows the two messages and quits the loop with exit code 1.
  static long ProcessWndProcException(CException* e);
  static void Dispatch(const std::function<void()>& task);
};
