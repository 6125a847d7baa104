#include "prompt/PromptMgrDoc.h"

#include <gtest/gtest.h>

#include <ctime>

#include "app/MainDoc.h"
#include "prompt/MsgBox.h"
#include "prompt/PromptDialog.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/RecordingMainFrame.h"
#include "tests/support/ScriptedPromptDialogs.h"
#include "tests/support/TempHome.h"
#include "zenuModule/src/desktop/IniFile.h"
#include "zenuModule/src/desktop/MessageBox.h"

namespace {

// "%Y-%m-%d" of the local day that lies the given number of days from now.
CString DayFromNow(int days) {
  const time_t when = time(nullptr) + static_cast<time_t>(days) * 86400;
  struct tm local {};
  localtime_r(&when, &local);
  char text[16] = {0};
  strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

class PromptMgrDocTest : public ::testing::Test {
 protected:
  PromptMgrDocTest() {
    CPromptMgrDoc::ResetInstance();
    CMainDoc::ResetInstance();
    CMainDoc::GetInstance()->SetMainFrame(&frame);
    CMainDoc::GetInstance()->SetPromptEvents(CPromptMgrDoc::GetInstance());
    CPromptMgrDoc::GetInstance()->SetSession(CMainDoc::GetInstance());
  }
  ~PromptMgrDocTest() override {
    CMainDoc::ResetInstance();
    CPromptMgrDoc::ResetInstance();
  }
  static CPromptMgrDoc* Prompts() { return CPromptMgrDoc::GetInstance(); }
  static CString Ini(const char* section, const char* key) {
    return IniGetString(CPromptMgrDoc::PromptFile(), section, key, "<none>");
  }
  static void SetDate(int iID, const CString& date) {
    ASSERT_TRUE(IniWriteString(CPromptMgrDoc::PromptFile(), "date", std::to_string(iID), date));
  }
  size_t Balloons() const { return frame.OfType(0).size(); }

  CTempHome home;
  CFakeMessageBox box;
  CRecordingMainFrame frame;
  CScriptedPromptDialog dialog;
  CScriptedMsgBox msgBox;
};

}  // namespace

TEST_F(PromptMgrDocTest, BalloonPromptShowsEveryTimeThroughTheSessionAndRecordsToday) {
  Prompts()->ShowPrompt(0, "电影:\"a\"下载已经完成", "");
  Prompts()->ShowPrompt(0, "评价发送成功", "评价电影");
  const auto balloons = frame.OfType(0);
  ASSERT_EQ(balloons.size(), 2u);
  EXPECT_EQ(balloons[0].strInfo1, "Vadeko2012冬季版");
  EXPECT_EQ(balloons[0].strInfo2, "电影:\"a\"下载已经完成");
  EXPECT_EQ(balloons[1].strInfo1, "评价电影");
  EXPECT_EQ(balloons[1].strInfo2, "评价发送成功");
  EXPECT_EQ(Prompts()->FindPrompt(0)->strText, "评价发送成功");

  // The file holds the date of the last showing and nothing set aside.
  const CString file = home.ReadFile("prompt.ini");
  EXPECT_NE(file.find("[date]"), CString::npos);
  EXPECT_NE(file.find("0=" + DayFromNow(0)), CString::npos);
  EXPECT_EQ(file.find("[layaside]"), CString::npos);
  EXPECT_EQ(Ini("date", "0").size(), 10u);
  EXPECT_TRUE(dialog.shown.empty());
  EXPECT_TRUE(msgBox.shown.empty());
}

TEST_F(PromptMgrDocTest, EmptyTextShowsNothingAndWritesNoDateButKeepsTheText) {
  Prompts()->ShowPrompt(0, "first", "t");
  Prompts()->ShowPrompt(0, "", "t");
  EXPECT_EQ(Balloons(), 1u);
  EXPECT_EQ(Prompts()->FindPrompt(0)->strText, "");

  CPromptMgrDoc::ResetInstance();
  ASSERT_EQ(std::remove((home.Path() + "prompt.ini").c_str()), 0);
  Prompts()->ShowPrompt(2, "", "");
  EXPECT_TRUE(msgBox.shown.empty());
  EXPECT_EQ(home.ReadFile("prompt.ini"), "");
}

TEST_F(PromptMgrDocTest, MessagePromptUsesTheMessageDialogAndFallsBackToTheMessageBox) {
  Prompts()->ShowPrompt(2, "请先选择一部电影", "ignored");
  ASSERT_EQ(msgBox.shown.size(), 1u);
  EXPECT_EQ(msgBox.shown[0].strTitle, "Dialog");
  EXPECT_EQ(msgBox.shown[0].strText, "请先选择一部电影");
  EXPECT_EQ(Ini("date", "2"), DayFromNow(0));
  EXPECT_EQ(Balloons(), 0u);

  SetMsgBox(nullptr);
  Prompts()->ShowPrompt(2, "again", "");
  SetMsgBox(&msgBox);
  EXPECT_EQ(msgBox.shown.size(), 1u);
  ASSERT_EQ(box.texts.size(), 1u);
  EXPECT_EQ(box.texts[0], "again");
}

TEST_F(PromptMgrDocTest, DialogPromptSetAsideStaysQuietForSixtyDays) {
  Prompts()->SetInterval(5, -1, CPromptMgrDoc::kTypeDialog);
  dialog.results = {IDOK, IDCANCEL};
  Prompts()->ShowPrompt(5, "hint", "");
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown[0].strTitle, "软件使用提示");
  EXPECT_EQ(dialog.shown[0].strText, "hint");
  EXPECT_EQ(dialog.shown[0].strCheckText, "知道了，不再提示");
  EXPECT_EQ(Ini("layaside", "5"), "0");

  // Ticked this time: set aside, and not due until 60 whole days have passed.
  Prompts()->ShowPrompt(5, "hint", "");
  EXPECT_EQ(dialog.shown.size(), 2u);
  EXPECT_EQ(Ini("layaside", "5"), "1");
  Prompts()->ShowPrompt(5, "hint", "");
  EXPECT_EQ(dialog.shown.size(), 2u);

  SetDate(5, DayFromNow(-59));
  EXPECT_FALSE(Prompts()->CheckPrompt(5));
  SetDate(5, DayFromNow(-61));
  EXPECT_TRUE(Prompts()->CheckPrompt(5));
  dialog.results = {IDOK};
  Prompts()->ShowPrompt(5, "hint", "");
  EXPECT_EQ(dialog.shown.size(), 3u);
  EXPECT_EQ(Ini("layaside", "5"), "0");
  EXPECT_EQ(Ini("date", "5"), DayFromNow(0));
}

TEST_F(PromptMgrDocTest, DialogClosedWithoutOkCountsAsSetAside) {
  Prompts()->SetInterval(6, -1, CPromptMgrDoc::kTypeDialog);
  dialog.results = {0};
  Prompts()->ShowPrompt(6, "hint", "");
  EXPECT_EQ(Ini("layaside", "6"), "1");
  EXPECT_EQ(Prompts()->FindPrompt(6)->bLayaside, 1);
}

TEST_F(PromptMgrDocTest, ShowOncePromptsShowOncePerRun) {
  Prompts()->SetInterval(7, 0, CPromptMgrDoc::kTypeDialog);
  Prompts()->ShowPrompt(7, "once", "");
  Prompts()->ShowPrompt(7, "once", "");
  EXPECT_EQ(dialog.shown.size(), 1u);
  EXPECT_FALSE(Prompts()->CheckPrompt(7));

  // The next run: the interval is 0 days, so it is due again.
  CPromptMgrDoc::ResetInstance();
  Prompts()->SetSession(CMainDoc::GetInstance());
  Prompts()->SetInterval(7, 0, CPromptMgrDoc::kTypeDialog);
  EXPECT_TRUE(Prompts()->CheckPrompt(7));

  Prompts()->SetInterval(8, 0, CPromptMgrDoc::kTypeBalloon);
  Prompts()->ShowPrompt(8, "b", "");
  Prompts()->ShowPrompt(8, "b", "");
  EXPECT_EQ(Balloons(), 1u);

  // Set aside with interval 0: the check itself disables it for the run.
  ASSERT_TRUE(IniWriteString(CPromptMgrDoc::PromptFile(), "layaside", "9", "1"));
  Prompts()->SetInterval(9, 0, CPromptMgrDoc::kTypeDialog);
  EXPECT_TRUE(Prompts()->CheckPrompt(9));
  EXPECT_EQ(Prompts()->FindPrompt(9)->bEnable, 0);
  EXPECT_FALSE(Prompts()->CheckPrompt(9));

  // Redefining enables it again.
  Prompts()->SetInterval(9, -1, CPromptMgrDoc::kTypeDialog);
  EXPECT_EQ(Prompts()->FindPrompt(9)->bEnable, 1);
}

TEST_F(PromptMgrDocTest, IntervalInWholeDaysAndClockSetBack) {
  Prompts()->SetInterval(3, 3, CPromptMgrDoc::kTypeBalloon);
  SetDate(3, DayFromNow(0));
  EXPECT_FALSE(Prompts()->CheckPrompt(3));
  SetDate(3, DayFromNow(-2));
  EXPECT_FALSE(Prompts()->CheckPrompt(3));
  SetDate(3, DayFromNow(-4));
  EXPECT_TRUE(Prompts()->CheckPrompt(3));

  // The recorded day lies ahead: the clock went back, even by less than a day.
  SetDate(3, DayFromNow(1));
  EXPECT_TRUE(Prompts()->CheckPrompt(3));
  SetDate(3, DayFromNow(400));
  EXPECT_TRUE(Prompts()->CheckPrompt(3));
  Prompts()->ShowPrompt(3, "back", "");
  EXPECT_EQ(Balloons(), 1u);
  EXPECT_EQ(Ini("date", "3"), DayFromNow(0));
}

TEST_F(PromptMgrDocTest, UnreadableDateCountsAsNeverShown) {
  Prompts()->SetInterval(4, 30, CPromptMgrDoc::kTypeBalloon);
  SetDate(4, "yesterday");
  EXPECT_TRUE(Prompts()->CheckPrompt(4));
  EXPECT_NE(home.TraceLog().find("unreadable date"), CString::npos);
  // Only the first ten characters count.
  SetDate(4, DayFromNow(0) + "garbage");
  EXPECT_FALSE(Prompts()->CheckPrompt(4));
}

TEST_F(PromptMgrDocTest, UndefinedPromptShowsNothing) {
  EXPECT_EQ(Prompts()->FindPrompt(1), nullptr);
  EXPECT_FALSE(Prompts()->CheckPrompt(1));
  Prompts()->ShowPrompt(1, "text", "title");
  EXPECT_EQ(Prompts()->FindPrompt(1), nullptr);
  EXPECT_TRUE(frame.events.empty());
  EXPECT_TRUE(dialog.shown.empty());
  EXPECT_TRUE(msgBox.shown.empty());
  EXPECT_EQ(home.ReadFile("prompt.ini"), "");
}

TEST_F(PromptMgrDocTest, BalloonClickEventReachesTheSessionAndIsReset) {
  EXPECT_EQ(Prompts()->GetCloseBallonEvent(), 0);
  Prompts()->ShowPrompt(0, "done", "");
  Prompts()->SetCloseBallonEvent(1);
  SMainFrameEvent click;
  click.iType = 3;
  CMainDoc::GetInstance()->OnMainFrameEvent(click);
  EXPECT_EQ(frame.iRaised, 1);
  EXPECT_EQ(Prompts()->GetCloseBallonEvent(), 0);
}

TEST(PromptDialogTest, TextsAndResults) {
  CPromptDialog dialog;
  EXPECT_EQ(dialog.GetText(),
            "    "
            "软件使用非常简单，您只需要对任何已推送电影的进行评价并提交，系统就会根据您的评价推送一"
            "部新的电影。随着您的评价增多，推送的电影将越来越符合您的喜好。\n\n    "
            "已评价的电影是可以再次评价的，系统也会推送新电影。如果您想查看更多电影，又不想随意评价"
            "其它电影，建议采用这种方式。");
  dialog.OnUpdate(1, "ignored");
  EXPECT_EQ(dialog.GetText(), CPromptDialog::UsageHint());
  dialog.OnUpdate(0, "new");
  EXPECT_EQ(dialog.GetText(), "new");
  EXPECT_EQ(CPromptDialog::OnBnClickedOk(true), IDCANCEL);
  EXPECT_EQ(CPromptDialog::OnBnClickedOk(false), IDOK);

  // No dialog installed: the text still reaches the user, nothing is set aside.
  CFakeMessageBox box;
  box.answers = {IDCANCEL};
  EXPECT_EQ(dialog.DoModal(), IDOK);
  ASSERT_EQ(box.texts.size(), 1u);
  EXPECT_EQ(box.texts[0], "new");

  CMsgBox msg;
  msg.OnUpdate(3, "x");
  EXPECT_EQ(msg.GetText(), "");
  msg.OnUpdate(0, "y");
  EXPECT_EQ(msg.GetText(), "y");
}
