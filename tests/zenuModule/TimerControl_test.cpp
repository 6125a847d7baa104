#include "zenuModule/src/TimerControl.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "tests/support/FakeMessageBox.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/IntfTimerControl.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {

class CCounter final : public CTemplTimerCaller {
 public:
  explicit CCounter(CVirtualLoop* loop = nullptr) : m_loop(loop) {}
  void TimerCallBack() override {
    ++calls;
    if (m_loop) times.push_back(m_loop->Now());
    if (onTick) onTick();
  }
  int calls = 0;
  std::vector<int64_t> times;
  std::function<void()> onTick;

 private:
  CVirtualLoop* m_loop;
};

class TimerControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CPlatform::SetMainWindowCreated(true);
    CTimerControl::ResetInstance();
  }
  void TearDown() override {
    CTimerControl::ResetInstance();
    CPlatform::SetMainWindowCreated(false);
  }
  CVirtualLoop loop;
};

}  // namespace

TEST_F(TimerControlTest, OneShotSixtySecondTimerFiresOnceInVirtualTime) {
  CCounter caller(&loop);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(caller.RegisterTimer(60, 1));
  loop.AdvanceBy(59'999);
  EXPECT_EQ(caller.calls, 0);
  loop.AdvanceBy(1);
  EXPECT_EQ(caller.calls, 1);
  loop.AdvanceBy(10 * 60'000);
  EXPECT_EQ(caller.calls, 1);
  EXPECT_EQ(loop.TimerCount(), 0u);
  EXPECT_FALSE(caller.UnRegisterTimer());
  const auto spent = std::chrono::steady_clock::now() - start;
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(spent).count(), 5);
}

TEST_F(TimerControlTest, CountedAndUnlimitedTimersTickOncePerPeriod) {
  CCounter three(&loop), forever(&loop);
  ASSERT_TRUE(three.RegisterTimer(1, 3));
  ASSERT_TRUE(forever.RegisterTimer(6, 0));
  loop.AdvanceBy(60'000);
  EXPECT_EQ(three.times, (std::vector<int64_t>{1000, 2000, 3000}));
  EXPECT_EQ(forever.calls, 10);
  EXPECT_TRUE(forever.UnRegisterTimer());
  loop.AdvanceBy(60'000);
  EXPECT_EQ(forever.calls, 10);
}

TEST_F(TimerControlTest, RegistrationRulesAndFreeIdOrder) {
  CCounter first;
  ASSERT_TRUE(first.RegisterTimer(1, 0));
  EXPECT_FALSE(first.RegisterTimer(5, 2));  // already registered: the first timer keeps running
  loop.AdvanceBy(3000);
  EXPECT_EQ(first.calls, 3);

  std::vector<std::unique_ptr<CCounter>> many;
  for (int i = 0; i < 200; ++i) {
    many.push_back(std::make_unique<CCounter>());
    ASSERT_TRUE(many.back()->RegisterTimer(1, 0)) << i;
  }
  CCounter extra;
  EXPECT_FALSE(extra.RegisterTimer(1, 0));  // the 202nd
  EXPECT_EQ(CTimerControl::GetInstance()->GetTimerCount(), 201u);

  // The id of "first" (1000) goes to the end of the free list.
  EXPECT_TRUE(first.UnRegisterTimer());
  EXPECT_FALSE(loop.HasTimer(1000));
  ASSERT_TRUE(extra.RegisterTimer(1, 0));
  EXPECT_TRUE(loop.HasTimer(1000));
  // Free two more: 1001 then 1002; the next registrations get them in that order.
  many[0]->UnRegisterTimer();
  many[1]->UnRegisterTimer();
  CCounter a, b;
  ASSERT_TRUE(a.RegisterTimer(2, 0));
  EXPECT_TRUE(loop.HasTimer(1001));
  EXPECT_FALSE(loop.HasTimer(1002));
  ASSERT_TRUE(b.RegisterTimer(2, 0));
  EXPECT_TRUE(loop.HasTimer(1002));

  CCounter stranger;
  EXPECT_FALSE(stranger.UnRegisterTimer());
  EXPECT_EQ(CTimerControl::GetInstance()->GetTimerCount(), 201u);
}

TEST_F(TimerControlTest, CallbacksMayRegisterAndUnregisterThemselves) {
  CCounter again(&loop);
  int reRegistered = 0;
  again.onTick = [&] {
    if (again.calls == 1) reRegistered += again.RegisterTimer(30, 1);
  };
  ASSERT_TRUE(again.RegisterTimer(30, 1));
  loop.AdvanceBy(90'000);
  EXPECT_EQ(reRegistered, 1);
  EXPECT_EQ(again.times, (std::vector<int64_t>{30'000, 60'000}));

  CCounter quitter(&loop), neighbour(&loop);
  quitter.onTick = [&] {
    if (quitter.calls == 2) {
      EXPECT_TRUE(quitter.UnRegisterTimer());
    }
  };
  ASSERT_TRUE(quitter.RegisterTimer(1, 0));
  ASSERT_TRUE(neighbour.RegisterTimer(1, 0));
  loop.AdvanceBy(5000);
  EXPECT_EQ(quitter.calls, 2);
  EXPECT_EQ(neighbour.calls, 5);
}

TEST_F(TimerControlTest, NoMainWindowMeansNoTimers) {
  CPlatform::SetMainWindowCreated(false);
  CCounter caller;
  try {
    caller.RegisterTimer(1, 0);
    FAIL() << "registration without a main window must raise";
  } catch (CProgramException* e) {
    EXPECT_EQ(e->GetError(), "MainFrame未创建不能使用TimerControl");
    EXPECT_NE(e->GetErrInfo().find("CallStack: TimerControl.cpp, CTimerControl::InitTimer\n"
                                   "CallStack: TimerControl.cpp, CTimerControl::Register\n"
                                   "CallStack: TimerControl.cpp, CIntfTimerControl::Register\n"
                                   "CallStack: TimerControl.cpp, CTemplTimerCaller::RegisterTimer"),
              CString::npos)
        << e->GetErrInfo();
    e->Delete();
  }
}

TEST_F(TimerControlTest, ErrorInACallbackReachesTheLastChanceHandler) {
  CTempHome home;
  CFakeMessageBox boxes;
  CCounter failing(&loop);
  failing.onTick = [] {
    OP_BEGIN("CFailing::TimerCallBack")
    RAISE_ERROR("download table broken");
    OP_END
  };
  ASSERT_TRUE(failing.RegisterTimer(1, 0));
  loop.AdvanceBy(1000);
  EXPECT_TRUE(loop.QuitRequested());
  EXPECT_EQ(loop.ExitCode(), 1);
  ASSERT_EQ(boxes.texts.size(), 2u);
  EXPECT_EQ(boxes.texts[0].rfind("糟糕，出错了：\n\n==========\n", 0), 0u);
  EXPECT_NE(boxes.texts[0].find("Error: download table broken"), CString::npos);
  EXPECT_NE(boxes.texts[0].find("CallStack: TimerControl.cpp, CTimerControl::OnTimer"),
            CString::npos);
  EXPECT_EQ(boxes.texts[1], "对不起，程序遇到严重错误，将立即关闭。请重新启动程序");
  EXPECT_EQ(home.ErrorLog(), boxes.texts[0].substr(CString("糟糕，出错了：\n").size()));
  failing.UnRegisterTimer();
}
