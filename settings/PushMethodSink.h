#pragma once

// The push engine's side of the settings dialog: event 0 asks it to let the user
// set the push method.
class IPushMethodSink {
 public:
  virtual ~IPushMethodSink() = default;
  virtual void OnConfigDlgEvent(int iEvent) = 0;
};
