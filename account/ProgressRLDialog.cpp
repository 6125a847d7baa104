#include "ProgressRLDialog.h"

#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/MessageLoop.h"
#include "zenuModule/src/desktop/Platform.h"
#include "zenuModule/src/desktop/RegLoginWaitDialog.h"

CProgressRLDialog::CProgressRLDialog(IRegLoginWaitDialog* view,
                                     std::function<void(int)> onRegLogEvent)
    : m_pView(view), m_onRegLogEvent(std::move(onRegLogEvent)) {
  if (!m_pView) return;
  m_pView->SetRange(kMaxWait);
  m_pView->SetPos(0);
  m_pView->SetMaxWaitText(StringFormat("最大等待时间:%d秒", kMaxWait));
  m_pView->SetWaitedText("已等待的时间:0秒");
}

void CProgressRLDialog::OnUpdate(const SRegLoginDlgEvent& evt) {
  OP_BEGIN("CProgressRLDialog::OnUpdate")
  switch (evt.iType) {
    case 0:
      OneSecond();
      break;
    case 1:
      if (m_pView) m_pView->SetTitle(evt.strText1);
      break;
    default:
      break;
  }
  OP_END
}

void CProgressRLDialog::OneSecond() {
  // Ticks that arrive after the end (or after the time-out was reported) count for nothing.
  if (m_bEnded || m_bTimedOut) return;
  ++m_iWaited;
  if (m_iWaited < kMaxWait) {
    if (m_pView) {
      m_pView->SetWaitedText(StringFormat("已等待的时间:%d秒", m_iWaited));
      m_pView->SetPos(m_iWaited);
    }
    return;
  }
  m_bTimedOut = true;
  if (m_onRegLogEvent) m_onRegLogEvent(0);
}

int CProgressRLDialog::DoModal() {
  OP_BEGIN("CProgressRLDialog::DoModal")
  // Ended before it ran: a modal run now would never be ended.
  if (m_bEnded) return m_iResult;
  if (m_pView) {
    m_pView->DoModal();
  } else if (IMessageLoop* loop = CPlatform::Loop()) {
    loop->RunModal([this] { return m_bEnded; });
  }
  m_bEnded = true;
  return m_iResult;
  OP_END
}

void CProgressRLDialog::EndDialog(int result) {
  OP_BEGIN("CProgressRLDialog::EndDialog")
  if (m_bEnded) return;
  m_bEnded = true;
  m_iResult = result;
  if (m_pView) m_pView->EndDialog(result);
  OP_END
}
