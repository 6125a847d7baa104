#pragma once
#include "zenuModule/src/Types.h"

// Message from the session controller to the main frame.
// iType: 0 tray balloon (strInfo1, strInfo2), 1 login completed, 2 show the help
// pane, 3 show the push pane, 4 status pane iParam (1-based) shows strText,
// 5 close the main frame. Pane 4 is the sharing pane.
struct SMainDocEvent {
  int iType = 0;
  CString strInfo1;
  CString strInfo2;
  int iParam = 0;
  CString strText;
};
