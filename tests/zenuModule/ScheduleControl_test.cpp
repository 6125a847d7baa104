#include "zenuModule/src/ScheduleControl.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/IntfScheduleControl.h"

namespace {
class CReceiver final : public CTemplIntfScheduleControlCaller {
 public:
  int OnIntfScheduleControlEvent(int iEvent, CString* pstr) override {
    events.emplace_back(iEvent, pstr ? *pstr : CString("<null>"));
    return 0;
  }
  std::vector<std::pair<int, CString>> events;
};

class ScheduleControlTest : public ::testing::Test {
 protected:
  void SetUp() override { CIntfScheduleControl::ResetInstance(); }
  void TearDown() override { CIntfScheduleControl::ResetInstance(); }
  CVirtualLoop loop;
};
}  // namespace

TEST_F(ScheduleControlTest, DeliveredLaterInPostingOrderWithCopiedText) {
  CReceiver receiver;
  auto* sched = CIntfScheduleControl::GetInstance();
  sched->Register(&receiver, 37);
  sched->Register(&receiver, 40);
  {
    CString text = "<media/>";
    sched->AddTask(37, &text);
    text = "changed";
    sched->AddTask(40, &text);
    sched->AddTask(37, &text);
  }  // the producer's string is gone before delivery
  EXPECT_TRUE(receiver.events.empty());
  loop.RunPending();
  const std::vector<std::pair<int, CString>> expected = {
      {37, "<media/>"}, {40, "changed"}, {37, "changed"}};
  EXPECT_EQ(receiver.events, expected);
}

TEST_F(ScheduleControlTest, LateRegistrationReplacedReceiverAndUnknownIds) {
  CReceiver early, late, other;
  auto* sched = CIntfScheduleControl::GetInstance();
  CString ready = "ready";
  sched->AddTask(100, &ready);
  sched->Register(&late, 100);  // registered after posting, before the loop runs
  sched->Register(&early, 5);
  sched->Register(&other, 5);   // replaces "early" for id 5
  CString five = "5";
  sched->AddTask(5, &five);
  sched->AddTask(999, &five);   // nobody listens: dropped
  loop.RunPending();
  ASSERT_EQ(late.events.size(), 1u);
  EXPECT_EQ(late.events[0].second, "ready");
  EXPECT_TRUE(early.events.empty());
  ASSERT_EQ(other.events.size(), 1u);
  EXPECT_EQ(other.events[0].first, 5);

  // Events still queued when the service is dropped are lost, not delivered to freed memory.
  sched->AddTask(5, &five);
  CIntfScheduleControl::ResetInstance();
  loop.RunPending();
  EXPECT_EQ(other.events.size(), 1u);
}
