#include "eval/EvalDoc.h"

#include <gtest/gtest.h>
#include <json/value.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "app/MainDoc.h"
#include "eval/EvalDialog.h"
#include "eval/EvalEventSink.h"
#include "prompt/PromptMgrDoc.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/HttpWait.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/RecordingMainFrame.h"
#include "tests/support/ScriptedNetworkSense.h"
#include "tests/support/ScriptedPromptDialogs.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {

const char kMarker[] = "5B1E09C4-73AF-4d2e-9C81-E2F04A6B1D37 OK";

// The push engine as the evaluation service sees it.
class CRecordingSink final : public IEvalEventSink {
 public:
  void OnEvalDocEvent(const SEvalDocEvent& evt) override { events.push_back(evt); }
  std::vector<SEvalDocEvent> events;
};

// Answers rating reports as the service does: the user name decoded twice, the
// marker for a known user and movie with a score of 1 to 5, 404 otherwise; a
// test may force another answer.
class CReportService {
 public:
  CReportService() {
    server.Server().Get("/urls/UserReportStatus", [this](const httplib::Request& req,
                                                         httplib::Response& res) {
      std::lock_guard<std::mutex> lock(m_mutex);
      targets.push_back(req.target);
      if (forcedStatus != 0) {
        res.status = forcedStatus;
        res.set_content(forcedBody, "text/plain");
        return;
      }
      const std::string user = httplib::detail::decode_url(req.get_param_value("username"), false);
      const std::string eval = req.get_param_value("eval");
      unsigned gid = 0;
      int score = 0;
      const bool parsed = std::sscanf(eval.c_str(), "%u,%d", &gid, &score) == 2;
      if (user != knownUser || !parsed || score < 1 || score > 5 || movies.count(gid) == 0) {
        res.status = 404;
        res.set_content("Unknown user or movie", "text/plain");
        return;
      }
      res.set_content(kMarker, "text/plain");
    });
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return targets.size();
  }
  CString Target(size_t i) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return i < targets.size() ? targets[i] : CString();
  }

  CLoopbackHttpServer server;
  std::string knownUser = "u";
  std::set<unsigned> movies;
  int forcedStatus = 0;
  std::string forcedBody;

 private:
  std::mutex m_mutex;
  std::vector<std::string> targets;
};

class EvalDocTest : public StoreTest {
 protected:
  void SetUp() override {
    CPlatform::SetMainWindowCreated(true);
    CTimerControl::ResetInstance();
    CMainDoc::ResetInstance();
    CEvalDoc::ResetInstance();
    CPromptMgrDoc::ResetInstance();
    CProcessValues::Reset();
    ASSERT_TRUE(service.server.Start());
    CProcessValues::SetRemoteSrvHost("127.0.0.1");
    CProcessValues::SetRemoteSrvPort(service.server.Port());
  }
  void TearDown() override {
    CEvalDoc::ResetInstance();
    EXPECT_TRUE(WaitForWorkers());
    CTimerControl::ResetInstance();
    CMainDoc::ResetInstance();
    CPromptMgrDoc::ResetInstance();
    CProcessValues::Reset();
    CPlatform::SetMainWindowCreated(false);
  }
  // Logs the user in, stores the movies, and starts the session's network check.
  void StartSession(const CString& user = "u") {
    auto* db = Login(user);
    service.knownUser = user;
    for (uint32_t gid : {11u, 12u, 13u}) {
      Json::Value task;
      task["INT_MOVIE_ID"] = gid;
      task["UTF8_MOVIE_NAME"] = GBKToUtf8(StringFormat("电影%u", gid));
      CRecord rec;
      ASSERT_TRUE(db->AddPushedRecord2(&task, Saveas(), &rec));
      service.movies.insert(gid);
    }
    CMainDoc::GetInstance()->SetMainFrame(&frame);
    CMainDoc::GetInstance()->StartCheckNet();
    Eval()->SetSession(CMainDoc::GetInstance());
    CPromptMgrDoc::GetInstance()->SetSession(CMainDoc::GetInstance());
    Eval()->SetEventSink(&sink);
  }
  static CEvalDoc* Eval() { return CEvalDoc::GetInstance(); }
  bool PumpUntil(const std::function<bool()>& done) { return ::PumpUntil(loop, done); }
  bool PumpUntilIdle() {
    return PumpUntil([] { return !Eval()->GetCaller().IsBusy(); });
  }
  std::vector<CString> StatusTexts() const {
    std::vector<CString> out;
    for (const SMainDocEvent& e : frame.OfType(4)) {
      EXPECT_EQ(e.iParam, 3);
      out.push_back(e.strText);
    }
    return out;
  }
  std::pair<int, int> LastReport() {
    RecordGID gid = kReservedGID;
    int eval = -1;
    CConfigDoc::GetInstance()->LoadLastEvalRecord(&gid, &eval);
    return {static_cast<int>(gid), eval};
  }

  CVirtualLoop loop;
  CScriptedNetworkSense network{true};
  CRecordingMainFrame frame;
  CRecordingSink sink;
  CScriptedEvalDialog evalDialog;
  CReportService service;
};

}  // namespace

TEST(EvalReportTest, UrlAndMarkerRules) {
  EXPECT_EQ(CEvalDoc::BuildReportUrl("h:88", "a b", 42, 3, 0, ""),
            "http://h:88/urls/UserReportStatus?username=a%2520b&eval=42,3&iIsRmdAllFriend=0");
  EXPECT_EQ(CEvalDoc::BuildReportUrl("h", "u", 7, 5, 1, "好 a&b"),
            "http://h/urls/UserReportStatus?username=u&eval=7,5&iIsRmdAllFriend=1"
            "&utf8Comment=%BA%C3%20a%26b");
  EXPECT_EQ(CEvalDoc::BuildReportUrl("h", "用户", 4294967295ul, 1, 0, ""),
            "http://h/urls/UserReportStatus?username=%25D3%25C3%25BB%25A7&eval=4294967295,1"
            "&iIsRmdAllFriend=0");

  EXPECT_TRUE(CEvalRequestCaller::ContainsMarker(" \t5b1e09c4-73AF-4D2E-9c81-e2f04a6b1d37 ok\r\n",
                                                 kMarker));
  EXPECT_TRUE(CEvalRequestCaller::ContainsMarker("stored: " + CString(kMarker) + " (1)", kMarker));
  EXPECT_FALSE(
      CEvalRequestCaller::ContainsMarker("5B1E09C4-73AF-4d2e-9C81-E2F04A6B1D37  OK", kMarker));
  EXPECT_FALSE(CEvalRequestCaller::ContainsMarker("", kMarker));
  // GBK bytes are never folded: 0xC1 is not 'A' + 0x80 in any sense.
  EXPECT_EQ(CEvalRequestCaller::LowerAscii("AZ\xC1\xDA"
                                           "az@["),
            "az\xC1\xDA"
            "az@[");

  EXPECT_EQ(CEvalDialog::ScoreText(1), "1分，类似的不要推送");
  EXPECT_EQ(CEvalDialog::ScoreText(5), "5分，类似的推送更多");
  EXPECT_EQ(CEvalDialog::ShortScoreText(4), "类似的可以适当推送");
  EXPECT_EQ(CEvalDialog::ScoreText(0), "");
  EXPECT_EQ(CEvalDialog::ShortScoreText(6), "");
}

TEST_F(EvalDocTest, AcceptedRatingIsStoredRememberedAndHandedToThePushEngine) {
  StartSession();
  Eval()->EvalRecord(12, 4, 0, nullptr);
  EXPECT_EQ(Eval()->GetCalcFlag(), 1);
  EXPECT_EQ(Eval()->GetEvaluatedRecord().GetEval(), 4);
  EXPECT_EQ(Cell("iEval", 12), "0") << "stored before the service answered";
  EXPECT_EQ(LastReport(), std::make_pair(0, 0));
  ASSERT_TRUE(PumpUntil([&] { return !sink.events.empty(); }));

  EXPECT_EQ(service.Target(0), "/urls/UserReportStatus?username=u&eval=12,4&iIsRmdAllFriend=0");
  EXPECT_EQ(Cell("iEval", 12), "4");
  EXPECT_EQ(Cell("iEval", 11), "0");
  EXPECT_EQ(LastReport(), std::make_pair(12, 4));
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].iType, 0);
  EXPECT_EQ(sink.events[0].record.GetGID(), 12u);
  EXPECT_EQ(sink.events[0].record.GetEval(), 4);
  EXPECT_EQ(sink.events[0].record.GetTaskDisplayName(), "电影12");
  EXPECT_EQ(StatusTexts(), std::vector<CString>{"评价发送成功"});
  const auto balloons = frame.OfType(0);
  ASSERT_EQ(balloons.size(), 1u);
  EXPECT_EQ(balloons[0].strInfo1, "评价电影");
  EXPECT_EQ(balloons[0].strInfo2, "评价发送成功");
  // The push engine clears the flag when its wait ends, not the service.
  EXPECT_EQ(Eval()->GetCalcFlag(), 1);
  const CString trace = home.TraceLog();
  EXPECT_NE(trace.find("/urls/UserReportStatus?username=u&eval=12,4&iIsRmdAllFriend=0\n"),
            CString::npos)
      << trace;
  EXPECT_NE(trace.find("评价电影成功"), CString::npos);
  EXPECT_TRUE(box.texts.empty());

  // Another rating waits until the push engine has cleared the flag.
  Eval()->EvalRecord(13, 2, 0, nullptr);
  EXPECT_EQ(service.Count(), 1u);
  Eval()->SetCalcFlag(0);
  Eval()->EvalRecord(13, 2, 0, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return sink.events.size() == 2; }));
  EXPECT_EQ(Cell("iEval", 13), "2");
  EXPECT_EQ(LastReport(), std::make_pair(13, 2));
}

TEST_F(EvalDocTest, RefusedRatingIsNeitherStoredNorRemembered) {
  StartSession();
  service.movies.erase(11);
  Eval()->EvalRecord(11, 3, 0, nullptr);
  ASSERT_TRUE(PumpUntilIdle());
  EXPECT_EQ(service.Count(), 1u);
  EXPECT_EQ(Cell("iEval", 11), "0");
  EXPECT_EQ(LastReport(), std::make_pair(0, 0));
  EXPECT_EQ(Eval()->GetCalcFlag(), 0);
  EXPECT_TRUE(sink.events.empty());
  EXPECT_EQ(StatusTexts(), std::vector<CString>{"评价发送失败，请检查网络"});
  auto balloons = frame.OfType(0);
  ASSERT_EQ(balloons.size(), 1u);
  EXPECT_EQ(balloons[0].strInfo1, "评价电影");
  EXPECT_EQ(balloons[0].strInfo2, "电影11 评价发送失败");
  EXPECT_NE(home.TraceLog().find("发送评价请求失败, URL:http://127.0.0.1/urls/UserReportStatus?"
                                 "username=u&eval=11,3&iIsRmdAllFriend=0"),
            CString::npos);

  // A 200 answer without the marker is refused too; a large body is traced in part.
  service.forcedStatus = 200;
  service.forcedBody = "Rating refused" + std::string(10000, 'x');
  Eval()->EvalRecord(12, 5, 0, nullptr);
  ASSERT_TRUE(PumpUntilIdle());
  EXPECT_EQ(Cell("iEval", 12), "0");
  EXPECT_EQ(Eval()->GetCalcFlag(), 0);
  EXPECT_EQ(LastReport(), std::make_pair(0, 0));
  const CString trace = home.TraceLog();
  const auto at = trace.find(
      "/urls/UserReportStatus?username=u&eval=12,5&iIsRmdAllFriend=0 : "
      "failed\nreq:Rating refused");
  ASSERT_NE(at, CString::npos);
  EXPECT_NE(trace.find(std::string(4096 - 14, 'x')), CString::npos);
  EXPECT_EQ(trace.find(std::string(4096 - 13, 'x')), CString::npos);
  EXPECT_EQ(frame.OfType(0).back().strInfo2, "电影12 评价发送失败");
}

TEST_F(EvalDocTest, MarkerInOtherCaseWithBlanksAndLineBreakIsSuccess) {
  StartSession();
  service.forcedStatus = 200;
  service.forcedBody = "  5b1e09c4-73af-4D2E-9c81-e2f04a6b1d37 ok \r\n";
  Eval()->EvalRecord(13, 1, 0, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return !sink.events.empty(); }));
  EXPECT_EQ(Cell("iEval", 13), "1");
}

TEST_F(EvalDocTest, NoNetworkMeansNoRequestAndAFailurePrompt) {
  network.bAlive = false;
  StartSession();
  Eval()->EvalRecord(12, 4, 0, nullptr);
  EXPECT_EQ(Eval()->GetCalcFlag(), 0);
  EXPECT_FALSE(Eval()->GetCaller().IsBusy());
  EXPECT_EQ(StatusTexts(), std::vector<CString>{"评价发送失败，请检查网络"});
  ASSERT_EQ(frame.OfType(0).size(), 1u);
  EXPECT_EQ(frame.OfType(0)[0].strInfo2, "电影12 评价发送失败");
  EXPECT_NE(home.TraceLog().find("网络检测不通，不能发起HTTP请求"), CString::npos);
  // Not stored in the database, though the in-memory record was loaded.
  EXPECT_EQ(Eval()->GetEvaluatedRecord().GetGID(), 12u);
  EXPECT_EQ(Eval()->GetEvaluatedRecord().GetEval(), 0);
  loop.AdvanceBy(3000);
  EXPECT_EQ(service.Count(), 0u);
  EXPECT_EQ(Cell("iEval", 12), "0");

  // The network check sees it come up: the next rating goes out.
  network.bAlive = true;
  loop.AdvanceBy(6000);
  Eval()->EvalRecord(12, 4, 0, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return !sink.events.empty(); }));
  EXPECT_EQ(Cell("iEval", 12), "4");
}

TEST_F(EvalDocTest, ScoreFiveAsksWhetherToRecommendToAllFollowers) {
  StartSession();
  box.answers = {IDYES, IDNO};
  Eval()->EvalRecord(11, 5, 0, nullptr);
  ASSERT_EQ(box.texts.size(), 1u);
  EXPECT_EQ(box.texts[0], "是否将电影推荐给所有粉丝？");
  EXPECT_EQ(box.types[0], static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION));
  ASSERT_TRUE(PumpUntilIdle());
  EXPECT_EQ(service.Target(0), "/urls/UserReportStatus?username=u&eval=11,5&iIsRmdAllFriend=1");

  Eval()->SetCalcFlag(0);
  Eval()->EvalRecord(12, 5, 0, nullptr);
  ASSERT_TRUE(PumpUntilIdle());
  EXPECT_EQ(service.Target(1), "/urls/UserReportStatus?username=u&eval=12,5&iIsRmdAllFriend=0");

  // Other scores never ask.
  Eval()->SetCalcFlag(0);
  Eval()->EvalRecord(13, 4, 0, nullptr);
  ASSERT_TRUE(PumpUntilIdle());
  EXPECT_EQ(box.texts.size(), 2u);
  EXPECT_EQ(service.Target(2), "/urls/UserReportStatus?username=u&eval=13,4&iIsRmdAllFriend=0");
  EXPECT_EQ(sink.events.size(), 3u);
}

TEST_F(EvalDocTest, CommandDocumentGivesRecommendFlagAndComment) {
  StartSession();
  Json::Value doc(Json::objectValue);
  doc["INT_CMD_IDX"] = 10;
  doc["INT_IS_RMD_ALL"] = 7;
  doc["UTF8_COMMENT"] = GBKToUtf8("好片 a&b");
  Eval()->EvalRecord(11, 5, 0, &doc);
  ASSERT_TRUE(PumpUntilIdle());
  EXPECT_TRUE(box.texts.empty()) << "the document answers the question";
  EXPECT_EQ(service.Target(0),
            "/urls/UserReportStatus?username=u&eval=11,5&iIsRmdAllFriend=1"
            "&utf8Comment=%E5%A5%BD%E7%89%87%20a%26b");

  Eval()->SetCalcFlag(0);
  Json::Value empty(Json::objectValue);
  empty["INT_IS_RMD_ALL"] = 0;
  empty["UTF8_COMMENT"] = "";
  Eval()->EvalRecord(12, 5, 0, &empty);
  ASSERT_TRUE(PumpUntilIdle());
  EXPECT_EQ(service.Target(1), "/urls/UserReportStatus?username=u&eval=12,5&iIsRmdAllFriend=0");

  // Members of the wrong kind count as absent.
  Eval()->SetCalcFlag(0);
  Json::Value odd(Json::objectValue);
  odd["INT_IS_RMD_ALL"] = "yes";
  odd["UTF8_COMMENT"] = 3;
  Eval()->EvalRecord(13, 2, 0, &odd);
  ASSERT_TRUE(PumpUntilIdle());
  EXPECT_EQ(service.Target(2), "/urls/UserReportStatus?username=u&eval=13,2&iIsRmdAllFriend=0");
}

TEST_F(EvalDocTest, UserNameIsEncodedTwiceEndToEnd) {
  StartSession("a b");
  Eval()->EvalRecord(11, 3, 0, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return !sink.events.empty(); }));
  EXPECT_EQ(service.Target(0),
            "/urls/UserReportStatus?username=a%2520b&eval=11,3&iIsRmdAllFriend=0");
  EXPECT_EQ(Cell("iEval", 11), "3");
}

TEST_F(EvalDocTest, RatingsWhileAReportRunsAreIgnored) {
  StartSession();
  Eval()->EvalRecord(11, 2, 0, nullptr);
  Eval()->EvalRecord(12, 5, 0, nullptr);
  EXPECT_TRUE(box.texts.empty());
  EXPECT_EQ(Eval()->GetEvaluatedRecord().GetGID(), 11u);

  // The push engine may clear the flag mid-report; the running report keeps its movie.
  Eval()->SetCalcFlag(0);
  Eval()->EvalRecord(13, 4, 0, nullptr);
  EXPECT_EQ(Eval()->GetEvaluatedRecord().GetGID(), 11u);
  EXPECT_NE(home.TraceLog().find("a rating report is still running; movie 13 ignored"),
            CString::npos);
  ASSERT_TRUE(PumpUntil([&] { return !sink.events.empty(); }));
  EXPECT_EQ(service.Count(), 1u);
  EXPECT_EQ(Cell("iEval", 11), "2");
  EXPECT_EQ(Cell("iEval", 12), "0");
  EXPECT_EQ(Cell("iEval", 13), "0");
  EXPECT_EQ(LastReport(), std::make_pair(11, 2));
  EXPECT_TRUE(StatusTexts() == std::vector<CString>{"评价发送成功"});
}

TEST_F(EvalDocTest, InvalidScoresAreIgnored) {
  StartSession();
  for (int score : {0, 6, -1}) Eval()->EvalRecord(11, score, 0, nullptr);
  EXPECT_EQ(Eval()->GetCalcFlag(), 0);
  EXPECT_FALSE(Eval()->GetCaller().IsBusy());
  EXPECT_TRUE(frame.events.empty());
  EXPECT_NE(home.TraceLog().find("invalid score 6 for movie 11 ignored"), CString::npos);
  loop.AdvanceBy(2000);
  EXPECT_EQ(service.Count(), 0u);
}

TEST_F(EvalDocTest, UnknownMovieIsReportedButNothingIsStored) {
  StartSession();
  service.movies.insert(99);
  Eval()->EvalRecord(99, 4, 0, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return !sink.events.empty(); }));
  EXPECT_EQ(sink.events[0].record.GetGID(), 0u);
  EXPECT_EQ(LastReport(), std::make_pair(0, 0));
  EXPECT_EQ(CIntfDB::GetInstance()->GetCount(), 3);
}

TEST_F(EvalDocTest, WithoutAPushEngineTheFlagIsClearedAfterSuccess) {
  StartSession();
  Eval()->SetEventSink(nullptr);
  Eval()->EvalRecord(11, 4, 0, nullptr);
  ASSERT_TRUE(PumpUntilIdle());
  EXPECT_EQ(Cell("iEval", 11), "4");
  EXPECT_EQ(Eval()->GetCalcFlag(), 0);
}

TEST_F(EvalDocTest, MakeSureEvalAsksForAnUnratedMovieOnly) {
  StartSession();
  CRecord rated = Get(11);
  rated.SetEval(2);
  Eval()->MakeSureEval(rated);
  EXPECT_TRUE(evalDialog.shown.empty());
  EXPECT_EQ(service.Count(), 0u);

  CRecord unrated = Get(12);
  evalDialog.selections = {4};
  box.answers = {IDNO};
  Eval()->MakeSureEval(unrated);
  ASSERT_EQ(evalDialog.shown.size(), 1u);
  const SEvalDlgData& shown = evalDialog.shown[0];
  EXPECT_EQ(shown.strTitle, "评价");
  EXPECT_EQ(shown.strRecordName, "电影12");
  EXPECT_EQ(shown.strLine, "为了更好地向您推送，请对已推送电影作出评价!");
  EXPECT_EQ(shown.iSelection, 2);
  EXPECT_EQ(shown.strScoreTexts[0], "1分，类似的不要推送");
  EXPECT_EQ(shown.strScoreTexts[4], "5分，类似的推送更多");
  EXPECT_EQ(unrated.GetEval(), 5);
  EXPECT_EQ(box.texts, std::vector<CString>{"是否将电影推荐给所有粉丝？"});
  ASSERT_TRUE(PumpUntil([&] { return !sink.events.empty(); }));
  EXPECT_EQ(Cell("iEval", 12), "5");

  // Closed unchanged, or without a dialog at all: score 3.
  Eval()->SetCalcFlag(0);
  CRecord third = Get(13);
  SetEvalDialog(nullptr);
  Eval()->MakeSureEval(third);
  SetEvalDialog(&evalDialog);
  EXPECT_EQ(third.GetEval(), 3);
  EXPECT_EQ(box.texts.back(), "电影13\n为了更好地向您推送，请对已推送电影作出评价!");
  ASSERT_TRUE(PumpUntil([&] { return sink.events.size() == 2; }));
  EXPECT_EQ(Cell("iEval", 13), "3");
}
