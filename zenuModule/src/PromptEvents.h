#pragma once

// What a click on the prompt manager's last balloon should do:
// 0 nothing, 1 show the main window, 2 show it and the newly downloaded movies.
class IPromptEvents {
 public:
  virtual ~IPromptEvents() = default;
  virtual int GetCloseBallonEvent() = 0;
  virtual void SetCloseBallonEvent(int iEvent) = 0;
};
