#include "QtAppFramework.h"

#include <QDBusConnection>

#include "MainFrame.h"
#include "app/MainDoc.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/desktop/Platform.h"

CQtAppFramework::CQtAppFramework() = default;

CQtAppFramework::~CQtAppFramework() {
  if (m_frame && CMainDoc::HasInstance()) CMainDoc::GetInstance()->SetMainFrame(nullptr);
}

BOOL CQtAppFramework::InitAutomation() {
  return QDBusConnection::sessionBus().isConnected() ? TRUE : FALSE;
}

BOOL CQtAppFramework::CreateMainFrame() {
  m_frame = std::make_unique<CMainFrame>();
  // Still hidden: raising it now only puts it first among the program's windows.
  m_frame->raise();
  ZTRACE(1, "CMainFrame::OnCreate", "Set mainfrm to front ok");
  CPlatform::SetMainWindowCreated(true);
  CMainDoc::GetInstance()->SetMainFrame(m_frame.get());
  return TRUE;
}

BOOL CQtAppFramework::RunShellCommand() {
  if (!m_frame) return FALSE;
  m_frame->InitFirstPane();
  return TRUE;
}
