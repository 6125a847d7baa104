#pragma once
// Recording stand-ins for the documents the session controller talks to.
#include <json/writer.h>

#include <vector>

#include "app/EvalService.h"
#include "app/MainFrameView.h"
#include "app/PushEngine.h"
#include "app/SessionStarter.h"
#include "zenuModule/src/StringHelpers.h"

class CRecordingPush final : public IPushEngine {
 public:
  void FindAndDisplayMovie(unsigned long ulGID) override {
    calls.push_back(StringFormat("FindAndDisplayMovie(%lu)", ulGID));
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
  std::vector<CString> calls;
};

class CRecordingEval final : public IEvalService {
 public:
  void EvalRecord(unsigned long ulGID, int iEval, int iFlag, const Json::Value* pDoc) override {
    CString doc = "none";
    if (pDoc) {
      Json::StreamWriterBuilder builder;
      builder["indentation"] = "";
      builder["emitUTF8"] = true;
      doc = Json::writeString(builder, *pDoc);
    }
    calls.push_back(StringFormat("EvalRecord(%lu,%d,%d,%s)", ulGID, iEval, iFlag, doc.c_str()));
  }
  std::vector<CString> calls;
};

class CRecordingFrame final : public IMainFrameView {
 public:
  void OnUpdate(const SMainDocEvent& event) override { events.push_back(event); }
  void ShowMaximizedAndRaise() override { ++iRaised; }
  std::vector<SMainDocEvent> events;
  int iRaised = 0;
};

class CRecordingStarter final : public ISessionStarter {
 public:
  void ContinueInit() override { ++iContinued; }
  int iContinued = 0;
};
