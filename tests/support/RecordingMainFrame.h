#pragma once
#include <vector>

#include "app/MainFrameView.h"

// The main frame as the session controller sees it: every record it is sent.
class CRecordingMainFrame final : public IMainFrameView {
 public:
  void OnUpdate(const SMainDocEvent& event) override { events.push_back(event); }
  void ShowMaximizedAndRaise() override { ++iRaised; }
  void ShowAfterLogin(bool /*bHidden*/) override {}
  void PostCommand(int iCommandId) override { commands.push_back(iCommandId); }

  std::vector<SMainDocEvent> OfType(int iType) const {
    std::vector<SMainDocEvent> out;
    for (const SMainDocEvent& e : events) {
      if (e.iType == iType) out.push_back(e);
    }
    return out;
  }

  std::vector<SMainDocEvent> events;
  std::vector<int> commands;
  int iRaised = 0;
};
