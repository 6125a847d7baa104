#pragma once
#include <deque>
#include <functional>
#include <vector>

#include "VirtualLoop.h"
#include "zenuModule/src/desktop/LoginDialog.h"
#include "zenuModule/src/desktop/RegLoginWaitDialog.h"
#include "zenuModule/src/desktop/RegisterDialog.h"

// One scripted user action inside a dialog: what the user types and presses, or
// any code to run at that point (for example the quit sequence).
struct SScriptedStep {
  enum EKind { kLogin, kPressLogin, kOpenRegistration, kRegister, kCancel, kCall } eKind;
  CString strText1;
  CString strText2;
  CString strText3;
  std::function<void()> fnCall;
};

// The login dialog as a script: on each modal run it sends the opening event, then
// plays its steps one per loop task until the dialog ends. A run that has no step
// left cancels (IDCANCEL).
class CScriptedLoginDialog final : public ILoginDialog {
 public:
  explicit CScriptedLoginDialog(CVirtualLoop& loop);
  ~CScriptedLoginDialog() override;
  CScriptedLoginDialog(const CScriptedLoginDialog&) = delete;
  CScriptedLoginDialog& operator=(const CScriptedLoginDialog&) = delete;

  // Types name and password (and the service address unless empty) and
  // presses "登录".
  void Login(const CString& user, const CString& password, const CString& server = CString());
  // Presses "登录" with the fields as they are.
  void PressLogin();
  void OpenRegistration();
  void Cancel();
  void Call(std::function<void()> fn);

  int DoModal(const RegLoginEventSink& onEvent) override;
  void OnUpdate(const SRegLoginDlgEvent& evt) override;
  void EndDialog(int result) override;
  void BringToFront() override { ++raised; }

  bool IsOpen() const { return m_bOpen; }

  std::deque<SScriptedStep> steps;
  std::vector<SRegLoginDlgEvent> updates;
  std::vector<int> results;
  CString fieldUser;
  CString fieldPassword;
  CString fieldServer;
  int opened = 0;
  int raised = 0;

 private:
  void PlayNext();

  CVirtualLoop& m_loop;
  RegLoginEventSink m_sink;
  bool m_bOpen = false;
  bool m_bEnded = false;
  bool m_bClosePending = false;
  int m_iResult = 0;
};

// The registration dialog as a script, played like the login dialog's.
class CScriptedRegisterDialog final : public IRegisterDialog {
 public:
  explicit CScriptedRegisterDialog(CVirtualLoop& loop);
  ~CScriptedRegisterDialog() override;
  CScriptedRegisterDialog(const CScriptedRegisterDialog&) = delete;
  CScriptedRegisterDialog& operator=(const CScriptedRegisterDialog&) = delete;

  // Types the three fields and presses "注册".
  void Register(const CString& user, const CString& password, const CString& password2);
  void Cancel();
  void Call(std::function<void()> fn);

  int DoModal(const RegLoginEventSink& onEvent) override;
  void OnUpdate(const SRegLoginDlgEvent& evt) override;
  void EndDialog(int result) override;
  void BringToFront() override { ++raised; }

  bool IsOpen() const { return m_bOpen; }

  std::deque<SScriptedStep> steps;
  std::vector<SRegLoginDlgEvent> updates;
  std::vector<int> results;
  int opened = 0;
  int raised = 0;

 private:
  void PlayNext();

  CVirtualLoop& m_loop;
  RegLoginEventSink m_sink;
  bool m_bOpen = false;
  bool m_bEnded = false;
  bool m_bClosePending = false;
  int m_iResult = 0;
};

// The waiting dialog: records what it shows. Before its modal run it gives the
// HTTP workers real time to finish (bounded by waitForWorkersMs), so that a
// service that answers is heard on the first second of virtual time; a service
// that hangs then costs only that bound.
class CScriptedWaitDialog final : public IRegLoginWaitDialog {
 public:
  explicit CScriptedWaitDialog(CVirtualLoop& loop);
  ~CScriptedWaitDialog() override;
  CScriptedWaitDialog(const CScriptedWaitDialog&) = delete;
  CScriptedWaitDialog& operator=(const CScriptedWaitDialog&) = delete;

  int DoModal() override;
  void SetTitle(const CString& title) override { this->title = title; }
  void SetRange(int max) override { range = max; }
  void SetPos(int pos) override;
  void SetMaxWaitText(const CString& text) override { maxWaitText = text; }
  void SetWaitedText(const CString& text) override { waitedTexts.push_back(text); }
  void EndDialog(int result) override;

  bool IsOpen() const { return m_bOpen; }

  int waitForWorkersMs = 10000;
  // Called with each new position of the bar, inside the modal run.
  std::function<void(int)> onPos;
  std::vector<CString> titles;  // the title at each opening
  CString title;
  CString maxWaitText;
  std::vector<CString> waitedTexts;
  std::vector<int> results;
  int range = -1;
  int pos = -1;
  int opened = 0;

 private:
  CVirtualLoop& m_loop;
  bool m_bOpen = false;
  bool m_bEnded = false;
  int m_iResult = 0;
};
