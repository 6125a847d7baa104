#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "RecordingLinks.h"
#include "app/MainDoc.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/IntfScheduleControl.h"
#include "zenuModule/src/ProcessValues.h"

namespace {
const CString kParseError = "JSON Parse error, strJsonPara is ";

class CScheduleRecorder final : public CTemplIntfScheduleControlCaller {
 public:
  int OnIntfScheduleControlEvent(int iEvent, CString* pstr) override {
    events.emplace_back(iEvent, pstr ? *pstr : CString("<null>"));
    return 0;
  }
  std::vector<std::pair<int, CString>> events;
};

size_t CountOf(const CString& text, const CString& part) {
  size_t n = 0;
  for (auto pos = text.find(part); pos != CString::npos; pos = text.find(part, pos + 1)) ++n;
  return n;
}

class MainDocCmdChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CIntfScheduleControl::ResetInstance();
    CMainDoc::ResetInstance();
    CProcessValues::Reset();
    doc = CMainDoc::GetInstance();
    doc->SetPushEngine(&push);
    doc->SetEvalService(&eval);
    for (int id : {37, 40, 100, 111, 112, 130}) {
      CIntfScheduleControl::GetInstance()->Register(&sched, id);
    }
  }
  void TearDown() override {
    CIntfScheduleControl::ResetInstance();
    CMainDoc::ResetInstance();
    CProcessValues::Reset();
  }
  // Sends one document and runs the loop; the call itself must never throw.
  void Send(const CString& text) {
    int result = -1;
    EXPECT_NO_THROW(result = doc->OnLocalSrvCmd(text.c_str())) << text.substr(0, 200);
    EXPECT_EQ(result, 0);
    loop.RunPending();
  }
  size_t Effects() const { return push.calls.size() + eval.calls.size() + sched.events.size(); }

  CTempHome home;
  CVirtualLoop loop;
  CRecordingPush push;
  CRecordingEval eval;
  CScheduleRecorder sched;
  CMainDoc* doc = nullptr;
};
}  // namespace

TEST_F(MainDocCmdChannelTest, EveryCommandReachesItsReceiver) {
  Send(R"({"INT_CMD_IDX": 1, "INT_VIEW_MOVIEID": 4000000000})");
  Send(R"({"INT_CMD_IDX": 2, "DICT_MOVIE": {"ulGID": 7, "strName": "x"}})");
  Send(R"({"INT_CMD_IDX": 20, "INT_CLIENT_ID": 1, "INT_FETCH_METHOD": 5})");
  Send(R"({"INT_CMD_IDX": 20, "INT_CLIENT_ID": 0, "INT_FETCH_METHOD": 1})");
  Send(R"({"INT_CMD_IDX": 20, "INT_CLIENT_ID": 2, "INT_FETCH_METHOD": 5})");
  Send(R"({"INT_CMD_IDX": 20, "INT_CLIENT_ID": 0, "INT_FETCH_METHOD": 3})");  // nothing
  Send(R"({"INT_CMD_IDX": 32})");
  Send(R"({"INT_CMD_IDX": 33})");
  Send(R"({"INT_CMD_IDX": 34})");
  Send(R"({"INT_CMD_IDX": 35})");
  Send(R"({"INT_CMD_IDX": 36})");
  const std::vector<CString> expectedPush = {
      "FindAndDisplayMovie(4000000000)",
      R"(ReceiveNewTask2({"strName":"x","ulGID":7}))",
      "OnDownloadRecord()",
      "OnRunningThunder()",
      "OnRunningThunderEx(0)",
      "OnRequestRecordStatus(2,0)",
      "OnRequestRecordStatus(0,0)",
      "OnRequestRecordStatus(1,0)",
      "EndCalcDlg(35)",
      "EndCalcDlg(36)"};
  EXPECT_EQ(push.calls, expectedPush);

  Send(R"({"INT_CMD_IDX": 10, "INT_MOVIE_ID": 12, "INT_EVAL": 4, "INT_IS_RMD_ALL": 1,
          "UTF8_COMMENT": "ok"})");
  Send(R"({"INT_CMD_IDX": 11, "INT_MOVIE_ID": 13, "INT_EVAL": 2})");
  ASSERT_EQ(eval.calls.size(), 2u);
  EXPECT_EQ(eval.calls[0],
            R"(EvalRecord(12,4,0,{"INT_CMD_IDX":10,"INT_EVAL":4,"INT_IS_RMD_ALL":1,)"
            R"("INT_MOVIE_ID":12,"UTF8_COMMENT":"ok"}))");
  EXPECT_EQ(eval.calls[1], "EvalRecord(13,2,0,none)");

  // UTF-8 in, GBK out, both as raw bytes and as JSON escapes.
  Send("{\"INT_CMD_IDX\": 37, \"STR_MEDIA_INFO\": \"<m t=\\\"\xE4\xB8\xAD\\u6587\\\"/>\"}");
  Send(R"({"INT_CMD_IDX": 40})");
  Send(R"({"INT_CMD_IDX": 111, "STR_MEDIA_INFO": "ignored"})");
  Send(R"({"INT_CMD_IDX": 112})");
  Send(R"({"INT_CMD_IDX": 130})");
  Send(R"({"INT_CMD_IDX": 100})");
  const std::vector<std::pair<int, CString>> expectedEvents = {
      {37, "<m t=\"中文\"/>"}, {40, ""}, {111, ""}, {112, ""}, {130, ""}, {100, ""}};
  EXPECT_EQ(sched.events, expectedEvents);
  EXPECT_EQ(CountOf(home.TraceLog(), "CMainDoc::OnLocalSrvCmd(): LocalSrv is ready"), 1u);

  // Unknown indexes and a missing index do nothing.
  const size_t before = Effects();
  Send(R"({"INT_CMD_IDX": 3})");
  Send(R"({"INT_CMD_IDX": -1})");
  Send(R"({"STR_IP": "10.1.1.1"})");
  Send(R"([{"INT_CMD_IDX": 100}])");
  Send("42");
  EXPECT_EQ(Effects(), before);
  EXPECT_EQ(CProcessValues::GetRemoteSrvHost(), kDefaultRemoteHost);
  EXPECT_EQ(home.ErrorLog(), "");
}

TEST_F(MainDocCmdChannelTest, HostReplacementMissingMembersAndParseErrors) {
  const CString before = "http://" + CProcessValues::GetRemoteSrvHost() + "/update_info";
  Send(R"({"INT_CMD_IDX": 200, "STR_IP": "push.example.org"})");
  EXPECT_EQ(CProcessValues::GetRemoteSrvHost(), "push.example.org");
  EXPECT_EQ(before, "http://127.0.0.1/update_info");  // built before: unchanged
  // An empty or missing host would break every later URL: the old one stays.
  Send(R"({"INT_CMD_IDX": 200, "STR_IP": ""})");
  Send(R"({"INT_CMD_IDX": 200})");
  Send(R"({"INT_CMD_IDX": 200, "STR_IP": {"a": 1}})");
  EXPECT_EQ(CProcessValues::GetRemoteSrvHost(), "push.example.org");

  // Missing or mistyped members read as 0 or empty; comments are accepted.
  Send("// from the component\n{\"INT_CMD_IDX\": 1 /* view */}");
  Send(R"({"INT_CMD_IDX": 1, "INT_VIEW_MOVIEID": "123"})");
  Send(R"({"INT_CMD_IDX": 1, "INT_VIEW_MOVIEID": -5})");
  Send(R"({"INT_CMD_IDX": 1, "INT_VIEW_MOVIEID": 7.9})");
  Send(R"({"INT_CMD_IDX": 2, "DICT_MOVIE": [1, 2]})");
  Send(R"({"INT_CMD_IDX": 2})");
  Send(R"({"INT_CMD_IDX": 20, "INT_CLIENT_ID": "1", "INT_FETCH_METHOD": true})");
  Send(R"({"INT_CMD_IDX": 11, "INT_MOVIE_ID": {}, "INT_EVAL": 1e300})");
  Send(R"({"INT_CMD_IDX": 37.0, "STR_MEDIA_INFO": ["x"]})");
  Send(R"({"INT_CMD_IDX": 37, "STR_MEDIA_INFO": 15})");
  Send("{\"INT_CMD_IDX\": 37, \"STR_MEDIA_INFO\": \"a\xFF\xFE" "b\xC3\"}");
  const std::vector<CString> expectedPush = {
      "FindAndDisplayMovie(0)", "FindAndDisplayMovie(0)", "FindAndDisplayMovie(0)",
      "FindAndDisplayMovie(7)", "ReceiveNewTask2({})",    "ReceiveNewTask2({})",
      "OnRunningThunder()"};
  EXPECT_EQ(push.calls, expectedPush);
  EXPECT_EQ(eval.calls, (std::vector<CString>{"EvalRecord(0,0,0,none)"}));
  const std::vector<std::pair<int, CString>> expectedEvents = {
      {37, ""}, {37, "15"}, {37, "a??b?"}};
  EXPECT_EQ(sched.events, expectedEvents);
  EXPECT_EQ(home.ErrorLog(), "");

  // Not JSON: one error-log entry each, and nothing else.
  const size_t effects = Effects();
  Send("not json at all");
  Send("");
  Send(R"({"INT_CMD_IDX": 100)");
  Send(R"({"INT_CMD_IDX": 37, "STR_MEDIA_INFO": "\ud800"})");  // a lone surrogate
  EXPECT_EQ(doc->OnLocalSrvCmd(nullptr), 0);
  EXPECT_EQ(Effects(), effects);
  const CString log = home.ErrorLog();
  EXPECT_EQ(CountOf(log, kParseError), 5u);
  EXPECT_NE(log.find(kParseError + "not json at all"), CString::npos);
  EXPECT_NE(log.find(kParseError + "{\"INT_CMD_IDX\": 100"), CString::npos);
  EXPECT_EQ(CProcessValues::GetRemoteSrvHost(), "push.example.org");
}

TEST_F(MainDocCmdChannelTest, FuzzedDocumentsNeverThrowAndHaveAtMostTheirOwnEffect) {
  std::mt19937 rng(20120105);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  const std::vector<CString> keys = {"INT_VIEW_MOVIEID", "DICT_MOVIE",
                                     "INT_MOVIE_ID", "INT_EVAL",         "INT_CLIENT_ID",
                                     "INT_FETCH_METHOD", "STR_MEDIA_INFO", "STR_IP"};
  const std::vector<CString> values = {"0",    "1",  "-1",  "2147483648", "1e40", "3.5",
                                       "true", "null", "\"\"", "\"1\"",    "[]",   "{}",
                                       "[1,{\"a\":[]}]", "\"\xFF\xC0\x80\"", "\"\\ud83d\\ude00\"",
                                       "{\"ulGID\":1}"};
  const std::vector<int> commands = {1, 2, 10, 11, 20, 32, 33, 34, 35, 36, 37, 40, 100, 111,
                                     112, 130, 200, 0, 5, 99, 1000};

  auto structured = [&](int cmd) {
    CString text = "{";
    text += "\"INT_CMD_IDX\":" + std::to_string(cmd);
    const size_t members = pick(5);
    for (size_t i = 0; i < members; ++i) {
      text += ",\"" + keys[pick(keys.size())] + "\":" + values[pick(values.size())];
    }
    return text + "}";
  };

  for (int round = 0; round < 3000; ++round) {
    CString text;
    int intended = -1;  // the command index when the document is well formed
    const int kind = round % 4;
    if (kind == 0) {
      intended = commands[pick(commands.size())];
      text = structured(intended);
    } else if (kind == 1) {
      const CString whole = structured(commands[pick(commands.size())]);
      text = whole.substr(0, pick(whole.size()));  // every strict prefix is broken
    } else if (kind == 2) {
      text = structured(commands[pick(commands.size())]);
      for (int flips = 1 + static_cast<int>(pick(4)); flips > 0; --flips) {
        text[pick(text.size())] = static_cast<char>(rng() & 0xFF);
      }
    } else {
      text.resize(pick(120));
      for (char& c : text) c = static_cast<char>(rng() & 0xFF);
    }
    const size_t effectsBefore = Effects();
    const size_t errorsBefore = CountOf(home.ErrorLog(), kParseError);
    const size_t pushBefore = push.calls.size(), evalBefore = eval.calls.size();
    const CString hostBefore = CProcessValues::GetRemoteSrvHost();
    Send(text);
    const size_t effects = Effects() - effectsBefore;
    const size_t errors = CountOf(home.ErrorLog(), kParseError) - errorsBefore;
    ASSERT_LE(effects + errors, 1u) << text;
    if (CProcessValues::GetRemoteSrvHost() != hostBefore) {
      ASSERT_NE(text.find("STR_IP"), CString::npos) << text;
    }
    if (kind == 1) {
      ASSERT_EQ(errors, 1u) << text;
    }
    if (intended >= 0) {
      ASSERT_EQ(errors, 0u) << text;
      const bool toPush = intended == 1 || intended == 2 || intended == 20 ||
                          (intended >= 32 && intended <= 36);
      const bool toEval = intended == 10 || intended == 11;
      const bool toSched = intended == 37 || intended == 40 || intended == 100 ||
                           intended == 111 || intended == 112 || intended == 130;
      const size_t pushDelta = push.calls.size() - pushBefore;
      if (intended == 20) {
        ASSERT_LE(pushDelta, 1u) << text;  // some client/method pairs do nothing
      } else {
        ASSERT_EQ(pushDelta, toPush ? 1u : 0u) << text;
      }
      ASSERT_EQ(eval.calls.size() - evalBefore, toEval ? 1u : 0u) << text;
      ASSERT_EQ(effects - pushDelta - (eval.calls.size() - evalBefore), toSched ? 1u : 0u)
          << text;
      if (intended != 200) {
        ASSERT_EQ(CProcessValues::GetRemoteSrvHost(), hostBefore) << text;
      }
    }
  }

  // Huge texts: a megabytes-long media document passes whole; a huge broken one
  // leaves one bounded error-log entry.
  const CString big(8 * 1024 * 1024, 'm');
  sched.events.clear();
  Send("{\"INT_CMD_IDX\": 37, \"STR_MEDIA_INFO\": \"" + big + "\"}");
  ASSERT_EQ(sched.events.size(), 1u);
  EXPECT_EQ(sched.events[0].second, big);
  const size_t logBefore = home.ErrorLog().size();
  Send("{\"INT_CMD_IDX\": 37, \"STR_MEDIA_INFO\": \"" + big);
  const CString log = home.ErrorLog();
  EXPECT_LT(log.size() - logBefore, 20u * 1024);
  EXPECT_NE(log.find("bytes)"), CString::npos);
  // Nesting deeper than the reader allows is a parse error, not a crash.
  const size_t errorsBefore = CountOf(log, kParseError);
  Send(CString(200000, '[') + CString(200000, ']'));
  Send(CString(5000, '{').replace(0, 0, "{\"INT_CMD_IDX\":100,\"a\":"));
  EXPECT_EQ(CountOf(home.ErrorLog(), kParseError), errorsBefore + 2);
  EXPECT_EQ(sched.events.size(), 1u);
}
