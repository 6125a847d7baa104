#include "app/COMB.h"

#include <gtest/gtest.h>

#include "RecordingLinks.h"
#include "app/MainDoc.h"
#include "tests/support/FakeAutomation.h"
#include "zenuModule/src/ProgramException.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/IntfScheduleControl.h"
#include "zenuModule/src/ProcessValues.h"

namespace {
const SAutomationMethod* FindMethod(const SAutomationClass& cls, const CString& name) {
  for (const auto& m : cls.methods) {
    if (m.strName == name) return &m;
  }
  return nullptr;
}

class COMBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CIntfScheduleControl::ResetInstance();
    CMainDoc::ResetInstance();
    CProcessValues::Reset();
  }
  void TearDown() override {
    CIntfScheduleControl::ResetInstance();
    CMainDoc::ResetInstance();
    CProcessValues::Reset();
  }
  CTempHome home;
  CVirtualLoop loop;
  CFakeMessageBox boxes;
  CFakeAutomation automation;
};
}  // namespace

TEST_F(COMBTest, MembersAsPublished) {
  CCOMB comb;
  EXPECT_EQ(comb.Publish(), CCOMB::PUBLISHED);
  EXPECT_TRUE(comb.IsPublished());
  EXPECT_EQ(automation.iLivePublications, 1);
  ASSERT_EQ(automation.published.size(), 1u);
  const SAutomationClass& cls = automation.published[0];
  EXPECT_EQ(cls.strIdentifier, "zenu.Orvex");

  ASSERT_EQ(cls.properties.size(), 1u);
  EXPECT_EQ(cls.properties[0].strName, "x");
  EXPECT_EQ(cls.properties[0].get(), 5);
  cls.properties[0].set(42);
  EXPECT_EQ(comb.GetX(), 42);
  EXPECT_EQ(cls.properties[0].get(), 42);

  const SAutomationMethod* m1 = FindMethod(cls, "m1");
  const SAutomationMethod* m2 = FindMethod(cls, "m2");
  const SAutomationMethod* cmd = FindMethod(cls, "OnLocalSrvCmd");
  ASSERT_TRUE(m1 && m2 && cmd);
  EXPECT_FALSE(m1->bTextArg);
  EXPECT_TRUE(m2->bTextArg);
  EXPECT_TRUE(cmd->bTextArg);
  EXPECT_EQ(m1->handler(""), 0);
  EXPECT_EQ(m2->handler("你好"), 0);
  EXPECT_EQ(boxes.texts, (std::vector<CString>{"x is changed!", "from python: 你好"}));

  CRecordingPush push;
  CMainDoc::GetInstance()->SetPushEngine(&push);
  EXPECT_EQ(cmd->handler(R"({"INT_CMD_IDX": 35})"), 0);
  EXPECT_EQ(cmd->handler(R"({"INT_CMD_IDX": 200, "STR_IP": "10.0.0.9"})"), 0);
  EXPECT_EQ(push.calls, (std::vector<CString>{"EndCalcDlg(35)"}));
  EXPECT_EQ(CProcessValues::GetRemoteSrvHost(), "10.0.0.9");

  CRecordingFrame frame;
  CMainDoc::GetInstance()->SetMainFrame(&frame);
  cls.onActivate();
  EXPECT_EQ(frame.iRaised, 1);

  EXPECT_EQ(comb.Publish(), CCOMB::PUBLISHED);  // already published: nothing new
  EXPECT_EQ(automation.published.size(), 1u);
}

TEST_F(COMBTest, OwnedNameMeansAnotherInstanceAndOtherFailuresRaise) {
  {
    CCOMB first;
    first.Publish();
    EXPECT_EQ(automation.iLivePublications, 1);
  }
  EXPECT_EQ(automation.iLivePublications, 0);  // withdrawn with its object

  automation.bNameTaken = true;
  CCOMB second;
  EXPECT_EQ(second.Publish(), CCOMB::OTHER_INSTANCE);
  EXPECT_FALSE(second.IsPublished());
  EXPECT_EQ(automation.activated, (std::vector<CString>{"zenu.Orvex"}));

  automation.bNameTaken = false;
  automation.publishResult = AUTO_E_DISCONNECTED;
  CCOMB third;
  try {
    third.Publish();
    ADD_FAILURE() << "no error raised";
  } catch (CProgramException* e) {
    EXPECT_EQ(e->GetError(), "Automation registration of zenu.Orvex failure.hr:-2147417848");
    e->Delete();
  }
  EXPECT_FALSE(third.IsPublished());
  EXPECT_EQ(automation.activated.size(), 1u);
}
