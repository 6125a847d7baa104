#pragma once
#include "MainDocEvent.h"

// What the session controller asks of the main frame.
class IMainFrameView {
 public:
  static constexpr int kExitCommand = 32803;

  virtual ~IMainFrameView() = default;
  virtual void OnUpdate(const SMainDocEvent& event) = 0;
  virtual void ShowMaximizedAndRaise() = 0;
  // After login: hidden for an automatic start, maximised otherwise.
  virtual void ShowAfterLogin(bool bHidden) = 0;
  // Queued like a menu command; the exit command becomes main-frame event 0.
  virtual void PostCommand(int iCommandId) = 0;
};
