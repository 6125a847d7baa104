#include "zenuModule/src/TemplHttpCaller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/FakeMessageBox.h"
#include "tests/support/HttpWait.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/RawHttpServer.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/HttpReqControl.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {

// Records the callbacks in order; each may run a scripted action.
class CRecordingCaller final : public CTemplHttpCaller {
 public:
  void ProcessResult(CBuffer& buf) override {
    events.push_back("result:" + std::string(buf.GetBufAddr(), buf.GetBufSize()));
    busyInCallback.push_back(IsBusy());
    if (onResult) onResult();
  }
  void ProcessState(SHttpState& state) override {
    events.push_back("state");
    lastState = state;
    if (onState) onState();
  }
  void ProcessError(CString strError) override {
    events.push_back("error:" + strError);
    busyInCallback.push_back(IsBusy());
    if (onError) onError();
  }
  bool Ended() const {
    for (const auto& e : events) {
      if (e.rfind("result:", 0) == 0 || e.rfind("error:", 0) == 0) return true;
    }
    return false;
  }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& e : events) n += e.rfind(prefix, 0) == 0;
    return n;
  }

  std::vector<std::string> events;
  std::vector<bool> busyInCallback;
  SHttpState lastState;
  std::function<void()> onResult, onState, onError;
};


class TemplHttpCallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CPlatform::SetMainWindowCreated(true);
    CTimerControl::ResetInstance();
    server.Server().Get("/a", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("alpha", "application/octet-stream");
    });
    server.Server().Get("/b", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("beta", "application/octet-stream");
    });
    ASSERT_TRUE(server.Start());
  }
  void TearDown() override {
    EXPECT_TRUE(WaitForWorkers());
    CTimerControl::ResetInstance();
    CPlatform::SetMainWindowCreated(false);
  }
  CTempHome home;
  CVirtualLoop loop;
  CFakeMessageBox box;
  CLoopbackHttpServer server;
};

}  // namespace

TEST_F(TemplHttpCallerTest, OneRequestAtATimeWithStateBeforeTheResult) {
  CRecordingCaller caller;
  ASSERT_TRUE(caller.HttpRequest("http://127.0.0.1/a", server.Port()));
  EXPECT_TRUE(caller.IsBusy());
  EXPECT_EQ(caller.GetUrl(), "http://127.0.0.1/a");
  const unsigned long first = caller.GetRequestID();
  EXPECT_GT(first, 0u);
  // Busy: refused, and the first request goes on undisturbed.
  EXPECT_FALSE(caller.HttpRequest(server.Url("/b"), 80));
  EXPECT_EQ(caller.GetRequestID(), first);
  // The body arrives between two ticks; the next request starts from inside ProcessResult.
  ASSERT_TRUE(WaitForWorkers());
  caller.onResult = [&] {
    caller.onResult = nullptr;
    EXPECT_TRUE(caller.HttpRequest(server.Url("/b"), 80));
  };
  ASSERT_TRUE(PumpUntil(loop, [&] { return caller.Count("result:") == 2; }));
  // The first body was in before the first tick: one state, then the result. The
  // second may take a tick or more: states first, one result last.
  ASSERT_GE(caller.events.size(), 4u);
  EXPECT_EQ(caller.events[0], "state");
  EXPECT_EQ(caller.events[1], "result:alpha");
  for (size_t i = 2; i + 1 < caller.events.size(); ++i) EXPECT_EQ(caller.events[i], "state");
  EXPECT_EQ(caller.events.back(), "result:beta");
  EXPECT_DOUBLE_EQ(caller.lastState.dTotalKB, 4.0 / 1024);
  // Idle already when each result arrived (only the second callback left it idle).
  EXPECT_EQ(caller.busyInCallback, (std::vector<bool>{false, false}));
  EXPECT_FALSE(caller.IsBusy());
  EXPECT_FALSE(CTimerControl::GetInstance()->IsRegistered(&caller));
  const size_t seen = caller.events.size();
  loop.AdvanceBy(5000);
  EXPECT_EQ(caller.events.size(), seen);
}

TEST_F(TemplHttpCallerTest, ErrorsCancelAndRefusals) {
  CRecordingCaller caller;
  ASSERT_TRUE(caller.HttpRequest(server.Url("/missing"), 80));
  ASSERT_TRUE(PumpUntil(loop, [&] { return caller.Ended(); }));
  ASSERT_EQ(caller.Count("error:"), 1);
  EXPECT_EQ(caller.events.back(),
            "error:" + server.Url("/missing") +
                ",\nSendRequest() has a Exception.QueryInfoStatusCode() Return:404");
  EXPECT_EQ(caller.busyInCallback, (std::vector<bool>{false}));
  EXPECT_FALSE(CTimerControl::GetInstance()->IsRegistered(&caller));
  const size_t entries = CHttpReqControl::GetRequestCount();

  // Cancel abandons a request that would never answer; a fresh one gets a new id.
  CRawHttpServer silent([](CRawHttpServer& self, int, const std::string&) { self.Pause(60000); });
  ASSERT_TRUE(caller.HttpRequest(silent.Url("/quiet"), 80));
  const unsigned long abandoned = caller.GetRequestID();
  caller.CancelRequest();
  EXPECT_FALSE(caller.IsBusy());
  EXPECT_EQ(caller.GetRequestID(), 0u);
  EXPECT_FALSE(CTimerControl::GetInstance()->IsRegistered(&caller));
  ASSERT_TRUE(caller.HttpRequest(server.Url("/a"), 80));
  EXPECT_GT(caller.GetRequestID(), abandoned);
  ASSERT_TRUE(PumpUntil(loop, [&] { return caller.Count("result:") == 1; }));
  EXPECT_EQ(caller.events.back(), "result:alpha");
  ASSERT_TRUE(WaitForWorkers());
  // The abandoned entry stays behind with the stop error, read by nobody.
  CString error;
  EXPECT_TRUE(CHttpReqControl::GetInstance()->GetHttpError(abandoned, error));
  EXPECT_EQ(error, "下载线程根据指令提前结束数据接收");
  EXPECT_EQ(CHttpReqControl::GetRequestCount(), entries + 1);
  CHttpReqControl::GetInstance()->DelRequestInfo(abandoned);

  // Without the timer service polling cannot be set up: refused and left idle.
  CPlatform::SetMainWindowCreated(false);
  CTimerControl::ResetInstance();
  EXPECT_FALSE(caller.HttpRequest(server.Url("/a"), 80));
  EXPECT_FALSE(caller.IsBusy());
  EXPECT_EQ(caller.GetRequestID(), 0u);
  EXPECT_NE(home.ErrorLog().find("MainFrame未创建不能使用TimerControl"), CString::npos);
}

TEST_F(TemplHttpCallerTest, CallbackErrorsAreLoggedOrFatalAsTheirKindSays) {
  CRecordingCaller caller;
  // ProcessState raising: logged with the polling step's call-stack line, result still comes.
  caller.onState = [] {
    OP_BEGIN("CRecordingCaller::ProcessState")
    RAISE_ERROR("state broke");
    OP_END
  };
  ASSERT_TRUE(caller.HttpRequest(server.Url("/a"), 80));
  ASSERT_TRUE(PumpUntil(loop, [&] { return caller.Ended(); }));
  EXPECT_EQ(caller.events.back(), "result:alpha");
  const CString log = home.ErrorLog();
  EXPECT_NE(log.find("Error: state broke"), CString::npos);
  EXPECT_NE(log.find("CallStack: TemplHttpCaller.cpp, CTemplHttpCaller::VisitState"),
            CString::npos);
  EXPECT_TRUE(box.texts.empty());

  // ProcessError raising: logged, caller idle, nothing shown.
  caller.events.clear();
  caller.onError = [] { throw std::runtime_error("error handler broke"); };
  ASSERT_TRUE(caller.HttpRequest(server.Url("/missing"), 80));
  ASSERT_TRUE(PumpUntil(loop, [&] { return caller.Ended(); }));
  EXPECT_FALSE(caller.IsBusy());
  EXPECT_NE(home.ErrorLog().find("error handler broke"), CString::npos);
  EXPECT_TRUE(box.texts.empty());
  EXPECT_FALSE(loop.QuitRequested());

  // ProcessResult raising reaches the last-chance handler, which ends the program.
  caller.events.clear();
  caller.onResult = [] {
    OP_BEGIN("CRecordingCaller::ProcessResult")
    RAISE_ERROR("result broke");
    OP_END
  };
  ASSERT_TRUE(caller.HttpRequest(server.Url("/a"), 80));
  ASSERT_TRUE(PumpUntil(loop, [&] { return loop.QuitRequested(); }));
  EXPECT_EQ(loop.ExitCode(), 1);
  ASSERT_EQ(box.texts.size(), 2u);
  EXPECT_EQ(box.texts[0].rfind("糟糕，出错了：\n", 0), 0u);
  EXPECT_NE(box.texts[0].find("result broke"), CString::npos);
  // The guard was released on the way out: another caller still polls.
  CRecordingCaller other;
  ASSERT_TRUE(other.HttpRequest(server.Url("/b"), 80));
  ASSERT_TRUE(PumpUntil(loop, [&] { return other.Ended(); }));
  EXPECT_EQ(other.events.back(), "result:beta");
}

namespace {
// A message box that stays open for some virtual seconds, pumping the loop as a
// real modal box would.
class CPumpingBox final : public IMessageBox {
 public:
  explicit CPumpingBox(CVirtualLoop& loop) : m_loop(loop), m_previous(CPlatform::MessageBox()) {
    CPlatform::SetMessageBox(this);
  }
  ~CPumpingBox() override { CPlatform::SetMessageBox(m_previous); }
  int Show(const CString& text, unsigned) override {
    texts.push_back(text);
    for (int i = 0; i < 5; ++i) {
      m_loop.AdvanceBy(1000);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (duringBox) duringBox();
    }
    return IDOK;
  }
  std::vector<CString> texts;
  std::function<void()> duringBox;

 private:
  CVirtualLoop& m_loop;
  IMessageBox* m_previous;
};
}  // namespace

TEST_F(TemplHttpCallerTest, ABoxFromOneCallerDelaysButDoesNotLoseAnother) {
  CPumpingBox pumping(loop);
  CRecordingCaller failing, waiting;
  failing.onError = [] { ShowMessageBox("network down"); };
  ASSERT_TRUE(failing.HttpRequest(server.Url("/missing"), 80));
  ASSERT_TRUE(waiting.HttpRequest(server.Url("/b"), 80));
  ASSERT_TRUE(WaitForWorkers());
  size_t waitingEventsDuringBox = 0;
  pumping.duringBox = [&] { waitingEventsDuringBox += waiting.events.size(); };
  // Both are due on the same tick; the failing caller was registered first.
  loop.AdvanceBy(1000);
  ASSERT_EQ(pumping.texts.size(), 1u);
  EXPECT_EQ(waitingEventsDuringBox, 0u);
  EXPECT_FALSE(waiting.Ended());
  EXPECT_TRUE(waiting.IsBusy());
  ASSERT_TRUE(PumpUntil(loop, [&] { return waiting.Ended(); }));
  EXPECT_EQ(waiting.events, (std::vector<std::string>{"state", "result:beta"}));
}
