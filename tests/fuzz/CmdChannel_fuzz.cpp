// The client's command channel: any text a caller sends to OnLocalSrvCmd.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/MainDoc.h"
#include "zenuModule/src/desktop/MessageLoop.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
// Runs posted work at once; timers never tick.
class CImmediateLoop final : public IMessageLoop {
 public:
  void Post(std::function<void()> task) override { task(); }
  void StartTimer(unsigned, unsigned, std::function<void()>) override {}
  void StopTimer(unsigned) override {}
  void RunModal(const std::function<bool()>&) override {}
  void Quit(int) override {}
};

// Every call must arrive with the values the channel promises.
class CCheckingPush final : public IPushEngine {
 public:
  void FindAndDisplayMovie(RecordGID) override {}
  void ReceiveNewTask2(const Json::Value& dictMovie) override {
    if (!dictMovie.isObject()) std::abort();
  }
  void OnDownloadRecord() override {}
  void OnRunningThunder() override {}
  void OnRunningThunderEx(int) override {}
  void OnRequestRecordStatus(int iStatus, int) override {
    if (iStatus < 0 || iStatus > 2) std::abort();
  }
  void EndCalcDlg(int iIndex) override {
    if (iIndex != 35 && iIndex != 36) std::abort();
  }
  void InitFrame(BOOL) override {}
  void CheckPushMethod(BOOL) override {}
  void StartRequesting(const CString&, int) override {}
  void StopRefreshRecord() override {}
  void CloseBTCOM() override {}
  void EndAllHTMLDialog() override {}
  BOOL IsAllHTMLDlgEnd() override { return TRUE; }
  void SetFocusOnNewDownloaded() override {}
};

class CCheckingEval final : public IEvalService {
 public:
  void EvalRecord(RecordGID, int, int, const Json::Value* pDoc) override {
    if (pDoc && !pDoc->isObject()) std::abort();
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CImmediateLoop loop;
  static CCheckingPush push;
  static CCheckingEval eval;
  static bool ready = [] {
    ::setenv("VADEKO_HOME", "/nonexistent-fuzz-home/", 1);
    CPlatform::SetLoop(&loop);
    CMainDoc::GetInstance()->SetPushEngine(&push);
    CMainDoc::GetInstance()->SetEvalService(&eval);
    return true;
  }();
  (void)ready;
  const std::string text(reinterpret_cast<const char*>(data), size);
  CMainDoc::GetInstance()->OnLocalSrvCmd(text.c_str());
  return 0;
}
