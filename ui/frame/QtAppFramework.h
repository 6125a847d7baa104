#pragma once
#include <memory>

#include "app/AppFramework.h"

class CMainFrame;

// Start-up's view of the Qt desktop: the session bus, the main frame and its
// first pane.
class CQtAppFramework final : public IAppFramework {
 public:
  CQtAppFramework();
  ~CQtAppFramework() override;
  CQtAppFramework(const CQtAppFramework&) = delete;
  CQtAppFramework& operator=(const CQtAppFramework&) = delete;

  BOOL InitAutomation() override;
  BOOL CreateMainFrame() override;
  BOOL RunShellCommand() override;

  CMainFrame* MainFrame() const { return m_frame.get(); }

 private:
  std::unique_ptr<CMainFrame> m_frame;
};
