#pragma once
#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "zenuModule/src/desktop/MessageLoop.h"

class QTimer;

// The program's message loop on Qt: queued invocations and QTimers on the GUI
// thread, every dispatch wrapped by the last-chance handler.
class CQtMessageLoop final : public QObject, public IMessageLoop {
 public:
  CQtMessageLoop();
  ~CQtMessageLoop() override;

  void Post(std::function<void()> task) override;
  void StartTimer(unsigned id, unsigned periodMs, std::function<void()> onTick) override;
  void StopTimer(unsigned id) override;
  void RunModal(const std::function<bool()>& isDone) override;
  void Quit(int exitCode) override;

 private:
  void Dispatch(const std::function<void()>& task);

  std::map<unsigned, QTimer*> m_timers;
  std::vector<std::function<void()>> m_modalWakers;
};
