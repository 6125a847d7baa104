#pragma once
#include <json/value.h>

#include <deque>
#include <functional>

#include "LocalSrvWatch.h"
#include "MainFrameView.h"
#include "NetworkStatus.h"
#include "zenuModule/src/COMOBJDriver.h"
#include "zenuModule/src/EvalService.h"
#include "zenuModule/src/LoginService.h"
#include "zenuModule/src/MainFrameEvent.h"
#include "zenuModule/src/PromptEvents.h"
#include "zenuModule/src/PushEngine.h"
#include "zenuModule/src/Session.h"
#include "zenuModule/src/Singleton.h"
#include "zenuModule/src/TemplIntfScheduleControlCaller.h"
#include "zenuModule/src/TemplIntfUpdateControlCaller.h"
#include "zenuModule/src/TemplTimerCaller.h"

// Runs the session: starts the local web server component, logs in, starts the
// push engine and the network check, relays events between the main frame, the
// push engine, the prompts and the component, and runs the quit sequence.
class CMainDoc final : public ISession,
                       public CTemplTimerCaller,
                       public CTemplIntfUpdateControlCaller,
                       public CTemplIntfScheduleControlCaller,
                       public TSingleton<CMainDoc> {
  friend class TSingleton<CMainDoc>;

 public:
  static constexpr int kLocalSrvReadyEvent = 100;

  ~CMainDoc() override;
  CMainDoc(const CMainDoc&) = delete;
  CMainDoc& operator=(const CMainDoc&) = delete;

  // The documents behind the commands; set once at start-up, not owned.
  void SetPushEngine(IPushEngine* push) {
    m_pPushEngine = push;
    m_netStatus.SetPushEngine(push);
  }
  void SetEvalService(IEvalService* eval) { m_pEvalService = eval; }
  void SetMainFrame(IMainFrameView* frame) { m_pMainFrame = frame; }
  void SetLoginService(ILoginService* login) { m_pLogin = login; }
  void SetPromptEvents(IPromptEvents* prompts) { m_pPrompts = prompts; }
  // The program's own login, prompts and ratings wherever none was set;
  // the documents get this session.
  void UseDefaultServices();

  // Creates the component, sends the start command, waits for event 100.
  void StartLocalSrv();
  // Command 3: the service address the user chose; the component answers
  // with command 200.
  void SendAddressToLocalSrv();
  // Command 2: who logged in and where the user's database lives.
  void SendLoginToLocalSrv(const CString& strUserName);
  // Command 100, then the component is released; a component that cannot be
  // reached is released all the same.
  void StopLocalSrv();
  // One look of the watch: a component gone while the client runs is started
  // again (commands 1 and 2 resent), a few times a minute at most.
  void CheckLocalSrv();

  int OnIntfScheduleControlEvent(int iEvent, CString* pstr) override;
  // Update check, login, the user to the component, the main window, the push
  // engine and the network check; runs each time the component says it is ready.
  void ContinueInit();
  BOOL Login();
  void LoginOK();
  void StartCheckNet();
  int GetNetStatus() const override { return m_netStatus.GetStatus(); }
  void OnPushDocEvent(int iFlag) override;
  void OnCloseBallon();
  void OnMainFrameEvent(const SMainFrameEvent& evt) override;
  bool SendLocalSrvCommand(Json::Value& document) override;
  // Event 0: this version is retired.
  void OnIntfUpdateControlEvent(int iEvent) override;
  void ClearStuffAtQuit();
  // The 1-second wait for every dialog to go before the frame closes.
  void TimerCallBack() override;
  void CallMFCClose();

  // The command channel; always 0.
  int OnLocalSrvCmd(const char* strJsonPara);

  void SetStatusInfo(int iPane, const CString& strText) override;
  // Another start of the program asks this one to show itself.
  void OnActivateRequest();

  int GetQuitByUpdate() const { return m_bQuitByUpdate; }
  CCOMOBJDriver& GetLocalSrvDriver() { return m_drvLocalSrv; }

 private:
  CMainDoc();
  void SendToLocalSrv(Json::Value& document);
  void SendStartToLocalSrv();
  void RestartLocalSrv();
  // A step of the quit sequence: its failure is logged and the quit goes on.
  void QuitStep(const std::function<void()>& step);
  void RunLocalSrvCmd(const Json::Value& root);
  void PostSchedule(int iEvent, const CString& text);
  void SendToFrame(const SMainDocEvent& evt);

  int m_bQuitByUpdate = 0;
  CCOMOBJDriver m_drvLocalSrv;
  IPushEngine* m_pPushEngine = nullptr;
  IEvalService* m_pEvalService = nullptr;
  IMainFrameView* m_pMainFrame = nullptr;
  ILoginService* m_pLogin = nullptr;
  IPromptEvents* m_pPrompts = nullptr;
  CNetworkStatus m_netStatus;
  CLocalSrvWatch m_localSrvWatch;
  std::deque<long> m_restartTicks;  // watch ticks of the recent restarts
  bool m_bSessionStarted = false;   // the first ready command has been handled
  bool m_bQuitting = false;
  CString m_strLoggedUser;  // sent with command 2, again after a restart
};
