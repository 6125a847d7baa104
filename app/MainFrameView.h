#pragma once
#include "MainDocEvent.h"

// What the session controller asks of the main frame.
class IMainFrameView {
 public:
  virtual ~IMainFrameView() = default;
  virtual void OnUpdate(const SMainDocEvent& event) = 0;
  virtual void ShowMaximizedAndRaise() = 0;
};
