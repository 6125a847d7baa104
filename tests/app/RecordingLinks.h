#pragma once
#include <functional>
// Recording stand-ins for the documents the session controller talks to.
#include <json/writer.h>

#include <vector>

#include "app/MainFrameView.h"
#include "zenuModule/src/EvalService.h"
#include "zenuModule/src/LoginService.h"
#include "zenuModule/src/PromptEvents.h"
#include "zenuModule/src/PushEngine.h"
#include "zenuModule/src/StringHelpers.h"

class CRecordingPush final : public IPushEngine {
 public:
  void FindAndDisplayMovie(RecordGID ulGID) override {
    calls.push_back(StringFormat("FindAndDisplayMovie(%u)", ulGID));
  }
  void ReceiveNewTask2(const Json::Value& dictMovie) override {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    calls.push_back("ReceiveNewTask2(" + Json::writeString(builder, dictMovie) + ")");
  }
  void OnDownloadRecord() override { calls.push_back("OnDownloadRecord()"); }
  void OnRunningThunder() override { calls.push_back("OnRunningThunder()"); }
  void OnRunningThunderEx(int iFlag) override {
    calls.push_back(StringFormat("OnRunningThunderEx(%d)", iFlag));
  }
  void OnRequestRecordStatus(int iStatus, int iFlag) override {
    calls.push_back(StringFormat("OnRequestRecordStatus(%d,%d)", iStatus, iFlag));
  }
  void EndCalcDlg(int iIndex) override { calls.push_back(StringFormat("EndCalcDlg(%d)", iIndex)); }
  void InitFrame(BOOL bShowNewTask) override {
    calls.push_back(StringFormat("InitFrame(%d)", bShowNewTask));
  }
  void CheckPushMethod(BOOL bForce) override {
    calls.push_back(StringFormat("CheckPushMethod(%d)", bForce));
    if (onCheckPushMethod) onCheckPushMethod();
  }
  // Runs inside the push-method question, as events do in its nested loop.
  std::function<void()> onCheckPushMethod;
  void StartRequesting(const CString& strParam, int iUserKind) override {
    calls.push_back(StringFormat("StartRequesting(%s,%d)", strParam.c_str(), iUserKind));
  }
  void StopRefreshRecord() override { calls.push_back("StopRefreshRecord()"); }
  void CloseBTCOM() override { calls.push_back("CloseBTCOM()"); }
  void EndAllHTMLDialog() override {
    calls.push_back("EndAllHTMLDialog()");
    bDialogsOpen = FALSE;
  }
  BOOL IsAllHTMLDlgEnd() override { return !bDialogsOpen; }
  void SetFocusOnNewDownloaded() override { calls.push_back("SetFocusOnNewDownloaded()"); }
  std::vector<CString> calls;
  BOOL bDialogsOpen = FALSE;
};

class CRecordingEval final : public IEvalService {
 public:
  void EvalRecord(RecordGID ulGID, int iEval, int iFlag, const Json::Value* pDoc) override {
    CString doc = "none";
    if (pDoc) {
      Json::StreamWriterBuilder builder;
      builder["indentation"] = "";
      builder["emitUTF8"] = true;
      doc = Json::writeString(builder, *pDoc);
    }
    calls.push_back(StringFormat("EvalRecord(%u,%d,%d,%s)", ulGID, iEval, iFlag, doc.c_str()));
  }
  std::vector<CString> calls;
};

class CRecordingFrame final : public IMainFrameView {
 public:
  void OnUpdate(const SMainDocEvent& event) override { events.push_back(event); }
  void ShowMaximizedAndRaise() override { ++iRaised; }
  void ShowAfterLogin(bool bHidden) override { shown.push_back(bHidden); }
  void PostCommand(int iCommandId) override { commands.push_back(iCommandId); }
  std::vector<SMainDocEvent> events;
  std::vector<bool> shown;
  std::vector<int> commands;
  int iRaised = 0;
};

// Login as the session sees it; bAccept decides how the login ends.
class CRecordingLogin final : public ILoginService {
 public:
  BOOL ShowLoginDlg() override {
    ++iShown;
    return bAccept;
  }
  BOOL IsAllModalDlgClosed() override { return !bDialogOpen; }
  void CloseAllModalDlg() override {
    ++iClosed;
    if (!bClosesLater) bDialogOpen = FALSE;
  }
  void BringToFront() override { ++iBroughtToFront; }
  BOOL bAccept = TRUE;
  BOOL bDialogOpen = FALSE;
  BOOL bClosesLater = FALSE;  // a dialog still busy ending itself
  int iShown = 0;
  int iClosed = 0;
  int iBroughtToFront = 0;
};

class CRecordingPrompts final : public IPromptEvents {
 public:
  int GetCloseBallonEvent() override { return iEvent; }
  void SetCloseBallonEvent(int iNew) override { iEvent = iNew; }
  int iEvent = 0;
};
