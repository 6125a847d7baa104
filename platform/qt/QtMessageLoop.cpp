#include "QtMessageLoop.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "zenuModule/src/CatchApp.h"

CQtMessageLoop::CQtMessageLoop() = default;

CQtMessageLoop::~CQtMessageLoop() {
  for (auto& entry : m_timers) delete entry.second;
}

void CQtMessageLoop::Dispatch(const std::function<void()>& task) {
  CCatchApp::Dispatch(task);
  // A nested loop ends as soon as the work it waits for is done.
  for (const auto& wake : m_modalWakers) wake();
}

void CQtMessageLoop::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(
      this, [this, task = std::move(task)] { Dispatch(task); }, Qt::QueuedConnection);
}

void CQtMessageLoop::StartTimer(unsigned id, unsigned periodMs, std::function<void()> onTick) {
  StopTimer(id);
  auto* timer = new QTimer;
  timer->setInterval(static_cast<int>(periodMs));
  timer->setTimerType(Qt::PreciseTimer);
  QObject::connect(timer, &QTimer::timeout, this,
                   [this, onTick = std::move(onTick)] { Dispatch(onTick); });
  m_timers[id] = timer;
  timer->start();
}

void CQtMessageLoop::StopTimer(unsigned id) {
  const auto it = m_timers.find(id);
  if (it == m_timers.end()) return;
  QTimer* timer = it->second;
  m_timers.erase(it);
  timer->stop();
  // The timer may be the one whose tick is running right now.
  timer->deleteLater();
}

void CQtMessageLoop::RunModal(const std::function<bool()>& isDone) {
  if (isDone()) return;
  QEventLoop loop;
  m_modalWakers.push_back([&loop, &isDone] {
    if (isDone()) loop.quit();
  });
  const size_t depth = m_modalWakers.size();
  // Events that are not ours (D-Bus, widgets) can end the wait too: look
  // whenever the loop is about to sleep, never on a clock of our own.
  const QMetaObject::Connection idle =
      QObject::connect(QAbstractEventDispatcher::instance(),
                       &QAbstractEventDispatcher::aboutToBlock, &loop, [&loop, &isDone] {
                         if (isDone()) loop.quit();
                       });
  loop.exec();
  QObject::disconnect(idle);
  m_modalWakers.resize(depth - 1);
}

void CQtMessageLoop::Quit(int exitCode) { QCoreApplication::exit(exitCode); }
