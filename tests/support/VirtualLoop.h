#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "zenuModule/src/desktop/MessageLoop.h"

// A deterministic message loop on a virtual clock: time moves only when a test
// advances it, and every timer due on the way fires in order, so a minute of
// timers costs microseconds.
class CVirtualLoop final : public IMessageLoop {
 public:
  CVirtualLoop();
  ~CVirtualLoop() override;

  void Post(std::function<void()> task) override;
  void StartTimer(unsigned id, unsigned periodMs, std::function<void()> onTick) override;
  void StopTimer(unsigned id) override;
  // Advances virtual time until isDone() holds; fails the test if nothing is left to run.
  void RunModal(const std::function<bool()>& isDone) override;
  void Quit(int exitCode) override;

  // Runs every posted task (and tasks they post) without moving the clock.
  void RunPending();
  // Moves the clock forward by ms, firing due timers in time order.
  void AdvanceBy(int64_t ms);
  int64_t Now() const { return m_now; }
  bool HasTimer(unsigned id) const { return m_timers.count(id) > 0; }
  size_t TimerCount() const { return m_timers.size(); }
  // Tasks posted so far, from any thread.
  size_t PostedCount() {
    std::lock_guard<std::mutex> lock(m_postedMutex);
    return m_postedTotal;
  }
  bool QuitRequested() const { return m_quit; }
  int ExitCode() const { return m_exitCode; }

 private:
  struct STimer {
    unsigned period;
    int64_t due;
    uint64_t generation;
    std::function<void()> onTick;
  };
  bool NextDue(int64_t limit, unsigned& id, int64_t& due) const;

  // Posted from other threads too (file-system notifications), as a real loop allows.
  std::mutex m_postedMutex;
  std::deque<std::function<void()>> m_posted;
  size_t m_postedTotal = 0;
  std::map<unsigned, STimer> m_timers;
  int64_t m_now = 0;
  uint64_t m_generation = 0;
  bool m_quit = false;
  int m_exitCode = 0;
  IMessageLoop* m_previous;
};
