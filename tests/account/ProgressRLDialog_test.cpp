#include "account/ProgressRLDialog.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/ScriptedLoginDialogs.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/desktop/MessageBox.h"

namespace {
SRegLoginDlgEvent Event(int type, const CString& text = CString()) {
  SRegLoginDlgEvent evt;
  evt.iType = type;
  evt.strText1 = text;
  return evt;
}
}  // namespace

TEST(ProgressRLDialogTest, CountsSecondsAndReportsTheTimeOutOnce) {
  CVirtualLoop loop;
  CScriptedWaitDialog view(loop);
  std::vector<int> flags;
  CProgressRLDialog dialog(&view, [&](int flag) { flags.push_back(flag); });
  EXPECT_EQ(view.range, 60);
  EXPECT_EQ(view.pos, 0);
  EXPECT_EQ(view.maxWaitText, "最大等待时间:60秒");
  EXPECT_EQ(view.waitedTexts, std::vector<CString>{"已等待的时间:0秒"});

  dialog.OnUpdate(Event(1, "登录进度"));
  EXPECT_EQ(view.title, "登录进度");
  for (int i = 0; i < 59; ++i) dialog.OnUpdate(Event(0));
  EXPECT_TRUE(flags.empty());
  EXPECT_EQ(view.pos, 59);
  EXPECT_EQ(view.waitedTexts.back(), "已等待的时间:59秒");
  dialog.OnUpdate(Event(0));
  EXPECT_EQ(flags, std::vector<int>{0});
  // The sixtieth second shows nothing more; later ticks count for nothing.
  EXPECT_EQ(view.waitedTexts.size(), 60u);
  dialog.OnUpdate(Event(0));
  dialog.OnUpdate(Event(7));
  EXPECT_EQ(flags.size(), 1u);
  EXPECT_EQ(dialog.GetWaited(), 60);
}

TEST(ProgressRLDialogTest, EndsItsModalRunAndIgnoresTicksAfterTheEnd) {
  CVirtualLoop loop;
  CScriptedWaitDialog view(loop);
  view.waitForWorkersMs = 0;
  std::vector<int> flags;
  CProgressRLDialog dialog(&view, [&](int flag) { flags.push_back(flag); });
  // The service's answer ends the wait on its third second.
  loop.StartTimer(1, 1000, [&] {
    dialog.OnUpdate(Event(0));
    if (dialog.GetWaited() == 3) {
      dialog.EndDialog(IDOK);
      loop.StopTimer(1);
    }
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(loop.Now(), 3000);
  EXPECT_EQ(view.results, std::vector<int>{IDOK});
  EXPECT_TRUE(dialog.IsEnded());
  dialog.OnUpdate(Event(0));
  EXPECT_EQ(dialog.GetWaited(), 3);
  EXPECT_TRUE(flags.empty());
}

TEST(ProgressRLDialogTest, EndedBeforeItRunsOrWithoutAViewItStillReturns) {
  CVirtualLoop loop;
  {
    CScriptedWaitDialog view(loop);
    CProgressRLDialog dialog(&view, nullptr);
    dialog.EndDialog(IDCANCEL);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(view.opened, 0);
  }
  // No user interface: the wait runs on the message loop alone, up to the time-out.
  int timeouts = 0;
  CProgressRLDialog headless(nullptr, [&](int) { ++timeouts; });
  CProgressRLDialog* target = &headless;
  loop.StartTimer(2, 1000, [&] {
    target->OnUpdate(Event(0));
    if (timeouts) target->EndDialog(IDOK);
  });
  EXPECT_EQ(headless.DoModal(), IDOK);
  EXPECT_EQ(timeouts, 1);
  EXPECT_EQ(loop.Now(), 60000);
  loop.StopTimer(2);
}
