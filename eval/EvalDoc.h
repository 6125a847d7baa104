#pragma once
#include <json/value.h>

#include "EvalRequestCaller.h"
#include "store/Record.h"
#include "zenuModule/src/EvalService.h"
#include "zenuModule/src/Session.h"
#include "zenuModule/src/Singleton.h"

class IEvalEventSink;

// Sends one rating report at a time to the remote service, stores the rating once
// the service has accepted it, and hands the accepted rating to the push engine.
class CEvalDoc final : public IEvalService, public TSingleton<CEvalDoc> {
  friend class TSingleton<CEvalDoc>;

 public:
  static constexpr const char* kMarker = "5B1E09C4-73AF-4d2e-9C81-E2F04A6B1D37 OK";

  CEvalDoc(const CEvalDoc&) = delete;
  CEvalDoc& operator=(const CEvalDoc&) = delete;
  ~CEvalDoc() override;

  // pExtra: an object with "INT_IS_RMD_ALL" and "UTF8_COMMENT", or null (then a
  // score of 5 asks whether to recommend the movie to every follower).
  void EvalRecord(RecordGID ulGID, int iScore, int iKind, const Json::Value* pExtra) override;
  // An unrated record is rated through the dialog and reported; record takes the score.
  void MakeSureEval(CRecord& record);
  void OnEvaledResult(bool bSuccess);

  int GetCalcFlag() const { return m_iCalcFlag; }
  void SetCalcFlag(int iFlag) { m_iCalcFlag = iFlag; }

  // The push engine; set once at start-up, not owned.
  void SetEventSink(IEvalEventSink* sink) { m_pEventSink = sink; }
  IEvalEventSink* GetEventSink() const { return m_pEventSink; }
  // The running session; set once at start-up, not owned.
  void SetSession(ISession* session) { m_pSession = session; }
  ISession* GetSession() const { return m_pSession; }

  const CRecord& GetEvaluatedRecord() const { return m_recEvaluated; }
  CEvalRequestCaller& GetCaller() { return m_caller; }

  // The report URL with the user name already in its query form; strHost is
  // a host (plain http) or "<scheme>://<host>".
  static CString BuildReportUrl(const CString& strHost, const CString& strUserName,
                                RecordGID ulGID, int iScore, int iRecommendAll,
                                const CString& strUtf8Comment);

 private:
  CEvalDoc();

  int m_iCalcFlag = 0;
  CRecord m_recEvaluated;
  int m_iEvalKind = 0;
  int m_iReserved = 3;
  CEvalRequestCaller m_caller;
  IEvalEventSink* m_pEventSink = nullptr;
  ISession* m_pSession = nullptr;
};
