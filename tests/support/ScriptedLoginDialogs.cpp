#include "ScriptedLoginDialogs.h"

#include <chrono>
#include <thread>

#include "zenuModule/src/HttpReqControl.h"
#include "zenuModule/src/desktop/MessageBox.h"

namespace {
SScriptedStep Step(SScriptedStep::EKind kind, const CString& a = CString(),
                   const CString& b = CString(), const CString& c = CString()) {
  return SScriptedStep{kind, a, b, c, nullptr};
}
}  // namespace

CScriptedLoginDialog::CScriptedLoginDialog(CVirtualLoop& loop) : m_loop(loop) {
  SetLoginDialog(this);
}

CScriptedLoginDialog::~CScriptedLoginDialog() { SetLoginDialog(nullptr); }

void CScriptedLoginDialog::Login(const CString& user, const CString& password,
                                 const CString& server) {
  steps.push_back(Step(SScriptedStep::kLogin, user, password, server));
}
void CScriptedLoginDialog::PressLogin() { steps.push_back(Step(SScriptedStep::kPressLogin)); }
void CScriptedLoginDialog::OpenRegistration() {
  steps.push_back(Step(SScriptedStep::kOpenRegistration));
}
void CScriptedLoginDialog::Cancel() { steps.push_back(Step(SScriptedStep::kCancel)); }
void CScriptedLoginDialog::Call(std::function<void()> fn) {
  SScriptedStep step = Step(SScriptedStep::kCall);
  step.fnCall = std::move(fn);
  steps.push_back(std::move(step));
}

int CScriptedLoginDialog::DoModal(const RegLoginEventSink& onEvent) {
  ++opened;
  m_sink = onEvent;
  m_bOpen = true;
  m_bEnded = false;
  m_bClosePending = false;
  m_iResult = 0;
  fieldUser.clear();
  fieldPassword.clear();
  fieldServer.clear();
  SRegLoginDlgEvent opening;
  opening.iType = 4;
  m_sink(opening);
  m_loop.Post([this] { PlayNext(); });
  m_loop.RunModal([this] { return m_bEnded; });
  m_bOpen = false;
  m_sink = nullptr;
  results.push_back(m_iResult);
  return m_iResult;
}

void CScriptedLoginDialog::PlayNext() {
  if (m_bEnded) return;
  if (steps.empty()) {
    EndDialog(IDCANCEL);
    return;
  }
  SScriptedStep step = std::move(steps.front());
  steps.pop_front();
  SRegLoginDlgEvent evt;
  switch (step.eKind) {
    case SScriptedStep::kLogin:
      fieldUser = step.strText1;
      fieldPassword = step.strText2;
      if (!step.strText3.empty()) fieldServer = step.strText3;
      [[fallthrough]];
    case SScriptedStep::kPressLogin:
      if (m_bClosePending) {
        EndDialog(IDOK);
        break;
      }
      evt.iType = 1;
      evt.strText1 = fieldUser;
      evt.strText2 = fieldPassword;
      evt.strText3 = fieldServer;
      m_sink(evt);
      break;
    case SScriptedStep::kOpenRegistration:
      evt.iType = 2;
      evt.strText1 = fieldServer;
      m_sink(evt);
      break;
    case SScriptedStep::kCall:
      if (step.fnCall) step.fnCall();
      break;
    default:
      EndDialog(IDCANCEL);
      break;
  }
  if (!m_bEnded) m_loop.Post([this] { PlayNext(); });
}

void CScriptedLoginDialog::OnUpdate(const SRegLoginDlgEvent& evt) {
  updates.push_back(evt);
  if (evt.iType == 0) {
    m_bClosePending = true;
    EndDialog(IDOK);
  } else if (evt.iType == 1) {
    fieldUser = evt.strText1;
    fieldPassword = evt.strText2;
    if (!evt.strText3.empty()) fieldServer = evt.strText3;
  }
}

void CScriptedLoginDialog::EndDialog(int result) {
  if (!m_bOpen || m_bEnded) return;
  m_bEnded = true;
  m_iResult = result;
}

CScriptedRegisterDialog::CScriptedRegisterDialog(CVirtualLoop& loop) : m_loop(loop) {
  SetRegisterDialog(this);
}

CScriptedRegisterDialog::~CScriptedRegisterDialog() { SetRegisterDialog(nullptr); }

void CScriptedRegisterDialog::Register(const CString& user, const CString& password,
                                       const CString& password2) {
  steps.push_back(Step(SScriptedStep::kRegister, user, password, password2));
}
void CScriptedRegisterDialog::Cancel() { steps.push_back(Step(SScriptedStep::kCancel)); }
void CScriptedRegisterDialog::Call(std::function<void()> fn) {
  SScriptedStep step = Step(SScriptedStep::kCall);
  step.fnCall = std::move(fn);
  steps.push_back(std::move(step));
}

int CScriptedRegisterDialog::DoModal(const RegLoginEventSink& onEvent) {
  ++opened;
  m_sink = onEvent;
  m_bOpen = true;
  m_bEnded = false;
  m_bClosePending = false;
  m_iResult = 0;
  m_loop.Post([this] { PlayNext(); });
  m_loop.RunModal([this] { return m_bEnded; });
  m_bOpen = false;
  m_sink = nullptr;
  results.push_back(m_iResult);
  return m_iResult;
}

void CScriptedRegisterDialog::PlayNext() {
  if (m_bEnded) return;
  if (steps.empty()) {
    EndDialog(IDCANCEL);
    return;
  }
  SScriptedStep step = std::move(steps.front());
  steps.pop_front();
  switch (step.eKind) {
    case SScriptedStep::kRegister: {
      if (m_bClosePending) {
        EndDialog(IDOK);
        break;
      }
      SRegLoginDlgEvent evt;
      evt.iType = 0;
      evt.strText1 = step.strText1;
      evt.strText2 = step.strText2;
      evt.strText3 = step.strText3;
      m_sink(evt);
      break;
    }
    case SScriptedStep::kCall:
      if (step.fnCall) step.fnCall();
      break;
    default:
      EndDialog(IDCANCEL);
      break;
  }
  if (!m_bEnded) m_loop.Post([this] { PlayNext(); });
}

void CScriptedRegisterDialog::OnUpdate(const SRegLoginDlgEvent& evt) {
  updates.push_back(evt);
  if (evt.iType == 0) {
    m_bClosePending = true;
    EndDialog(IDOK);
  }
}

void CScriptedRegisterDialog::EndDialog(int result) {
  if (!m_bOpen || m_bEnded) return;
  m_bEnded = true;
  m_iResult = result;
}

CScriptedWaitDialog::CScriptedWaitDialog(CVirtualLoop& loop) : m_loop(loop) {
  SetRegLoginWaitDialog(this);
}

CScriptedWaitDialog::~CScriptedWaitDialog() { SetRegLoginWaitDialog(nullptr); }

int CScriptedWaitDialog::DoModal() {
  ++opened;
  titles.push_back(title);
  m_bOpen = true;
  m_bEnded = false;
  m_iResult = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitForWorkersMs);
  while (CHttpReqControl::GetThreadCount() > 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  m_loop.RunModal([this] { return m_bEnded; });
  m_bOpen = false;
  results.push_back(m_iResult);
  return m_iResult;
}

void CScriptedWaitDialog::SetPos(int newPos) {
  pos = newPos;
  if (m_bOpen && onPos) onPos(newPos);
}

void CScriptedWaitDialog::EndDialog(int result) {
  if (!m_bOpen || m_bEnded) return;
  m_bEnded = true;
  m_iResult = result;
}
