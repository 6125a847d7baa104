#pragma once
#include <functional>

#include "zenuModule/src/Types.h"
#include "zenuModule/src/desktop/LoginDialog.h"

class IRegLoginWaitDialog;

// The waiting dialog's logic while a login or registration request runs: it counts
// the seconds up to the maximum wait and then reports the time-out (flag 0).
class CProgressRLDialog final {
 public:
  static constexpr int kMaxWait = 60;

  // view may be null (no user interface): the wait then runs on the message loop.
  CProgressRLDialog(IRegLoginWaitDialog* view, std::function<void(int)> onRegLogEvent);
  CProgressRLDialog(const CProgressRLDialog&) = delete;
  CProgressRLDialog& operator=(const CProgressRLDialog&) = delete;

  // 0: one second has passed; 1: the title (text 1).
  void OnUpdate(const SRegLoginDlgEvent& evt);
  // Runs modally until EndDialog; returns its result.
  int DoModal();
  void EndDialog(int result);

  bool IsEnded() const { return m_bEnded; }
  int GetWaited() const { return m_iWaited; }

 private:
  void OneSecond();

  IRegLoginWaitDialog* m_pView;
  std::function<void(int)> m_onRegLogEvent;
  int m_iWaited = 0;
  bool m_bEnded = false;
  bool m_bTimedOut = false;
  int m_iResult = 0;
};
