#pragma once
#include "zenuModule/src/Types.h"

// Message from the main frame and the prompt manager to the session controller.
// iType: 0 quit from the tray menu, 1 the desktop session ends, 2 show a tray
// balloon (strInfo1, strInfo2), 3 the balloon was clicked, 4 the tray icon was
// clicked before login completed.
struct SMainFrameEvent {
  int iType = 0;
  CString strInfo1;
  CString strInfo2;
};
