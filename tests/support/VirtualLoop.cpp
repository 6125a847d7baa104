#include "VirtualLoop.h"

#include <gtest/gtest.h>

#include "zenuModule/src/CatchApp.h"
#include "zenuModule/src/desktop/Platform.h"

CVirtualLoop::CVirtualLoop() : m_previous(CPlatform::Loop()) { CPlatform::SetLoop(this); }

CVirtualLoop::~CVirtualLoop() { CPlatform::SetLoop(m_previous); }

void CVirtualLoop::Post(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(m_postedMutex);
  m_posted.push_back(std::move(task));
  ++m_postedTotal;
}

void CVirtualLoop::StartTimer(unsigned id, unsigned periodMs, std::function<void()> onTick) {
  m_timers[id] = STimer{periodMs, m_now + periodMs, ++m_generation, std::move(onTick)};
}

void CVirtualLoop::StopTimer(unsigned id) { m_timers.erase(id); }

void CVirtualLoop::Quit(int exitCode) {
  m_quit = true;
  m_exitCode = exitCode;
}

void CVirtualLoop::RunPending() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(m_postedMutex);
      if (m_posted.empty()) return;
      task = std::move(m_posted.front());
      m_posted.pop_front();
    }
    CCatchApp::Dispatch(task);
  }
}

bool CVirtualLoop::NextDue(int64_t limit, unsigned& id, int64_t& due) const {
  bool found = false;
  for (const auto& entry : m_timers) {
    // Ties go to the timer started first, as a real loop would order them.
    if (entry.second.due <= limit &&
        (!found || entry.second.due < due ||
         (entry.second.due == due && entry.second.generation < m_timers.at(id).generation))) {
      found = true;
      id = entry.first;
      due = entry.second.due;
    }
  }
  return found;
}

void CVirtualLoop::AdvanceBy(int64_t ms) {
  const int64_t target = m_now + ms;
  RunPending();
  unsigned id = 0;
  int64_t due = 0;
  while (NextDue(target, id, due)) {
    m_now = due;
    auto& timer = m_timers.at(id);
    timer.due = m_now + (timer.period > 0 ? timer.period : 1);
    // The callback may stop or restart this very timer: call a copy.
    auto tick = timer.onTick;
    CCatchApp::Dispatch(tick);
    RunPending();
  }
  m_now = target;
}

void CVirtualLoop::RunModal(const std::function<bool()>& isDone) {
  RunPending();
  while (!isDone()) {
    unsigned id = 0;
    int64_t due = 0;
    if (!NextDue(INT64_MAX, id, due)) {
      ADD_FAILURE() << "modal loop would wait forever: nothing posted and no timer";
      return;
    }
    AdvanceBy(due - m_now);
  }
}
