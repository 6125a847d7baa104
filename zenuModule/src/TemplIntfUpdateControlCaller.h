#pragma once

// Receives the outcome of an update check (events 0 to 3).
class CTemplIntfUpdateControlCaller {
 public:
  virtual ~CTemplIntfUpdateControlCaller() = default;
  virtual void OnIntfUpdateControlEvent(int iEvent) = 0;
};
