#include "CatchApp.h"

#include <exception>

#include "Log.h"
#include "ProgramException.h"
#include "desktop/MessageLoop.h"
#include "desktop/Platform.h"

BOOL CCatchApp::IsExiting() {
  // The exit event is created signalled and nothing resets it.
  return FALSE;
}

long CCatchApp::ProcessWndProcException(CException* e) {
  char message[5000] = {0};
  e->GetErrorMessage(message, sizeof message);
  e->Delete();
  WriteErrorLog(message);
  ShowMessageBox(CString("糟糕，出错了：\n") + message);
  ShowMessageBox("对不起，程序遇到严重错误，将立即关闭。请重新启动程序");
  if (IMessageLoop* loop = CPlatform::Loop()) loop->Quit(1);
  return 0;
}

namespace {
CProgramException* Converted(int type, const char* message) {
  auto* e = new CProgramException;
  e->SetErrorType(type);
  e->SetFileName(__FILE__);
  e->SetLine(__LINE__);
  e->SetFunction("CCatchApp::Dispatch");
  e->SetError(message);
  return e;
}
}  // namespace

void CCatchApp::Dispatch(const std::function<void()>& task) {
  try {
    task();
  } catch (CException* e) {
    ProcessWndProcException(e);
  } catch (const std::exception& e) {
    ProcessWndProcException(Converted(1, e.what()));
  } catch (...) {
    ProcessWndProcException(Converted(2, "Pure C++ error"));
  }
}
