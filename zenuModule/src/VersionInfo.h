#pragma once
#include "Types.h"

// The update description's six values.
struct SVersionInfo {
  int iNewVersion = 0;
  CString strNewDisplay;
  CString strNewFunction;
  int iAbandonVersion = 0;
  CString strAbandonDisplay;
  CString strUpdateUrl;
};

// Outcome events of the update check.
enum EUpdateEvent : int {
  UE_VERSION_RETIRED = 0,
  UE_NEWER_VERSION = 1,
  UE_PARSE_FAILED = 2,
  UE_UP_TO_DATE = 3,
};
