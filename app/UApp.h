#pragma once
#include "AppFramework.h"
#include "COMB.h"

// The program's start: log paths, the local web server port, one instance,
// the automation object, the main frame, the command line, then the local web
// server, whose ready command continues the session.
class CUApp final {
 public:
  explicit CUApp(IAppFramework& framework) : m_framework(framework) {}
  CUApp(const CUApp&) = delete;
  CUApp& operator=(const CUApp&) = delete;

  // FALSE ends the process at once (another instance runs, or start-up failed).
  BOOL InitInstance(int argc, const char* const* argv);
  CCOMB& GetCOMB() { return m_comb; }

  static constexpr const char* kAutomationFailure =
      "无法连接桌面会话总线（D-Bus），程序不能启动。";

 private:
  BOOL StartUp(int argc, const char* const* argv);

  IAppFramework& m_framework;
  CCOMB m_comb;
};
