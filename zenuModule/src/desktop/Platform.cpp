#include "Platform.h"

#include <atomic>
#include <cstdio>

#include "MessageBox.h"
#include "MessageLoop.h"

namespace {
IMessageLoop* g_loop = nullptr;
IMessageBox* g_box = nullptr;
std::atomic<bool> g_mainWindow{false};
}  // namespace

IMessageLoop* CPlatform::Loop() { return g_loop; }
void CPlatform::SetLoop(IMessageLoop* loop) { g_loop = loop; }
IMessageBox* CPlatform::MessageBox() { return g_box; }
void CPlatform::SetMessageBox(IMessageBox* box) { g_box = box; }
bool CPlatform::IsMainWindowCreated() { return g_mainWindow; }
void CPlatform::SetMainWindowCreated(bool created) { g_mainWindow = created; }

int ShowMessageBox(const CString& text, unsigned type) {
  if (g_box) return g_box->Show(text, type);
  std::fprintf(stderr, "%s\n", text.c_str());
  return IDOK;
}
