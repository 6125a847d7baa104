#include "UApp.h"

#include "MainDoc.h"
#include "settings/ServiceHostSetting.h"
#include "zenuModule/src/CmdParams.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/desktop/Platform.h"

BOOL CUApp::StartUp(int argc, const char* const* argv) {
  OP_BEGIN("CUApp::InitInstance")
  CProcessValues::InitLogPaths();
  CProcessValues::ChooseLocalSrvPort();

  if (!m_framework.InitAutomation()) {
    ShowMessageBox(kAutomationFailure);
    return FALSE;
  }
  // Owning the name is both the single-instance rule and the registration;
  // a running instance has been asked to show itself.
  if (m_comb.Publish() == CCOMB::OTHER_INSTANCE) return FALSE;

  if (!m_framework.CreateMainFrame()) return FALSE;

  CCmdParams* params = CCmdParams::GetInstance();
  params->ParseCommandLine(argc, argv);
  CServiceHostSetting::ApplyAtStart();

  if (!m_framework.RunShellCommand()) return FALSE;

  ZTRACE(1, "CUApp::InitInstance", "In InitInstance, before start localsrv");
  CMainDoc* doc = CMainDoc::GetInstance();
  doc->UseDefaultServices();
  doc->StartLocalSrv();
  return TRUE;
  OP_END
}

BOOL CUApp::InitInstance(int argc, const char* const* argv) {
  try {
    return StartUp(argc, argv);
  } catch (CException* e) {
    char message[5000] = {0};
    e->GetErrorMessage(message, sizeof message);
    e->Delete();
    WriteErrorLog(message);
    ShowMessageBox(CString("糟糕，出错了：\n") + message);
    ShowMessageBox("对不起，程序遇到严重错误，将立即关闭。请重新启动程序");
    return FALSE;
  }
}
