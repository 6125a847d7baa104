#pragma once
#include <functional>
#include <string>

#include "zenuModule/src/Buffer.h"

class CVirtualLoop;

// Polls the engine for one asynchronous request until it ends (bounded by real time).
struct SHttpOutcome {
  bool bDone = false;  // false: still running when the bound passed
  bool bError = false;
  CString strError;
  CBuffer buf;
};
SHttpOutcome WaitForRequest(unsigned long id, int limitMs = 15000);
// Waits until no worker thread runs; false when the bound passed first.
bool WaitForWorkers(int limitMs = 15000);
// Virtual seconds for the callers' polls, a little real time for the workers,
// until done() (bounded by real time); false when the bound passed first.
bool PumpUntil(CVirtualLoop& loop, const std::function<bool()>& done, int limitMs = 15000);
