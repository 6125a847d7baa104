#pragma once
#include <functional>

// The one user-interface thread as the core sees it. Posted tasks run in posting
// order after the current one returns; timers tick by id with millisecond periods.
class IMessageLoop {
 public:
  virtual ~IMessageLoop() = default;

  virtual void Post(std::function<void()> task) = 0;
  // A periodic timer; starting an id that runs restarts it with the new period.
  virtual void StartTimer(unsigned id, unsigned periodMs, std::function<void()> onTick) = 0;
  virtual void StopTimer(unsigned id) = 0;
  // Runs a nested loop (a modal dialog's) until isDone() turns true.
  virtual void RunModal(const std::function<bool()>& isDone) = 0;
  // Ends the outermost loop with this exit code once the current task returns.
  virtual void Quit(int exitCode) = 0;
};
