#pragma once
#include <json/value.h>

#include "EvalService.h"
#include "MainFrameView.h"
#include "PushEngine.h"
#include "SessionStarter.h"
#include "zenuModule/src/COMOBJDriver.h"
#include "zenuModule/src/Singleton.h"
#include "zenuModule/src/TemplIntfScheduleControlCaller.h"

// Runs the session: starts the local web server component, takes its commands
// and relays them to the push engine, the evaluation service and the main frame.
class CMainDoc final : public CTemplIntfScheduleControlCaller, public TSingleton<CMainDoc> {
  friend class TSingleton<CMainDoc>;

 public:
  static constexpr int kLocalSrvReadyEvent = 100;

  ~CMainDoc() override;
  CMainDoc(const CMainDoc&) = delete;
  CMainDoc& operator=(const CMainDoc&) = delete;

  // The documents behind the commands; set once at start-up, not owned.
  void SetPushEngine(IPushEngine* push) { m_pPushEngine = push; }
  void SetEvalService(IEvalService* eval) { m_pEvalService = eval; }
  void SetMainFrame(IMainFrameView* frame) { m_pMainFrame = frame; }
  void SetSessionStarter(ISessionStarter* starter) { m_pSessionStarter = starter; }

  // Creates the component, sends the start command, waits for event 100.
  void StartLocalSrv();
  // Command 2: who logged in and where the user's database lives.
  void SendLoginToLocalSrv(const CString& strUserName);
  // Command 100, then the component is released.
  void StopLocalSrv();

  int OnIntfScheduleControlEvent(int iEvent, CString* pstr) override;
  void ContinueInit();

  // The command channel; always 0.
  int OnLocalSrvCmd(const char* strJsonPara);

  void SetStatusInfo(int iPane, const CString& strText);
  // Another start of the program asks this one to show itself.
  void OnActivateRequest();

  int GetQuitByUpdate() const { return m_bQuitByUpdate; }
  CCOMOBJDriver& GetLocalSrvDriver() { return m_drvLocalSrv; }

 private:
  CMainDoc();
  void SendToLocalSrv(Json::Value& document);
  void RunLocalSrvCmd(const Json::Value& root);
  void PostSchedule(int iEvent, const CString& text);

  int m_bQuitByUpdate = 0;
  CCOMOBJDriver m_drvLocalSrv;
  IPushEngine* m_pPushEngine = nullptr;
  IEvalService* m_pEvalService = nullptr;
  IMainFrameView* m_pMainFrame = nullptr;
  ISessionStarter* m_pSessionStarter = nullptr;
};
