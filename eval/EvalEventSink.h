#pragma once
#include "store/Record.h"

// A rating the service accepted; iType 0 is the only kind.
struct SEvalDocEvent {
  int iType = 0;
  CRecord record;
};

// The push engine's side of the evaluation service: after an accepted rating it
// waits for the pushes that follow and then clears the calc flag.
class IEvalEventSink {
 public:
  virtual ~IEvalEventSink() = default;
  virtual void OnEvalDocEvent(const SEvalDocEvent& evt) = 0;
};
