#pragma once
#include <json/value.h>

#include "zenuModule/src/MainFrameEvent.h"
#include "zenuModule/src/Types.h"

// What the feature documents may ask of the running session. The session
// controller implements it and hands it down at start-up, so the documents
// never reach up to it.
class ISession {
 public:
  virtual ~ISession() = default;
  // iPane 1..3 of the status bar; 4 is the sharing pane at its right end.
  virtual void SetStatusInfo(int iPane, const CString& strText) = 0;
  // iFlag 0: new movies arrived; the main window comes up.
  virtual void OnPushDocEvent(int iFlag) = 0;
  // 1 when the remote service answers.
  virtual int GetNetStatus() const = 0;
  virtual void OnMainFrameEvent(const SMainFrameEvent& evt) = 0;
  // A command document for the local server; false when it did not take it.
  virtual bool SendLocalSrvCommand(Json::Value& /*document*/) { return false; }
};
