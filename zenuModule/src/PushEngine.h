#pragma once
#include <json/value.h>

#include <cstdint>

#include "zenuModule/src/Types.h"

// The push engine's operations that the session controller and the local
// server's commands reach.
class IPushEngine {
 public:
  virtual ~IPushEngine() = default;
  virtual void FindAndDisplayMovie(RecordGID ulGID) = 0;
  // A movie pushed now; dictMovie is always an object.
  virtual void ReceiveNewTask2(const Json::Value& dictMovie) = 0;
  virtual void OnDownloadRecord() = 0;
  virtual void OnRunningThunder() = 0;
  virtual void OnRunningThunderEx(int iFlag) = 0;
  virtual void OnRequestRecordStatus(int iStatus, int iFlag) = 0;
  virtual void EndCalcDlg(int iIndex) = 0;
  // The service's word on "不感兴趣" for a movie: confirmed, or why not.
  virtual void OnDismissAnswer(RecordGID /*ulGID*/, bool /*bDone*/, const CString& /*strError*/) {}
  // Why the service pushed a movie (empty when it kept no reason); bKnown
  // false when it could not be asked.
  virtual void OnPushReason(RecordGID /*ulGID*/, bool /*bKnown*/, const CString& /*strReason*/) {}
  // The bulletin's "边下边播": the movie in the user's player while it downloads.
  virtual void StreamMovieFromPage(RecordGID ulGID) { (void)ulGID; }

  // The session's own calls.
  virtual void InitFrame(BOOL bShowNewTask) = 0;
  virtual void CheckPushMethod(BOOL bForce) = 0;
  virtual void StartRequesting(const CString& strParam, int iUserKind) = 0;
  virtual void StopRefreshRecord() = 0;
  virtual void CloseBTCOM() = 0;
  virtual void EndAllHTMLDialog() = 0;
  virtual BOOL IsAllHTMLDlgEnd() = 0;
  virtual void SetFocusOnNewDownloaded() = 0;
};
