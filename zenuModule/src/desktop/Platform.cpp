#include "Platform.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

#include "MessageBox.h"
#include "MessageLoop.h"

namespace {
IMessageLoop* g_loop = nullptr;
IMessageBox* g_box = nullptr;
std::atomic<bool> g_mainWindow{false};
std::mutex g_loopThreadMutex;
std::thread::id g_loopThread;
}  // namespace

IMessageLoop* CPlatform::Loop() { return g_loop; }
void CPlatform::SetLoop(IMessageLoop* loop) {
  std::lock_guard<std::mutex> lock(g_loopThreadMutex);
  g_loop = loop;
  g_loopThread = loop ? std::this_thread::get_id() : std::thread::id();
}
bool CPlatform::IsLoopThread() {
  std::lock_guard<std::mutex> lock(g_loopThreadMutex);
  return g_loop && g_loopThread == std::this_thread::get_id();
}
IMessageBox* CPlatform::MessageBox() { return g_box; }
void CPlatform::SetMessageBox(IMessageBox* box) { g_box = box; }
bool CPlatform::IsMainWindowCreated() { return g_mainWindow; }
void CPlatform::SetMainWindowCreated(bool created) { g_mainWindow = created; }

int ShowMessageBox(const CString& text, unsigned type) {
  if (g_box) return g_box->Show(text, type);
  std::fprintf(stderr, "%s\n", text.c_str());
  return IDOK;
}
