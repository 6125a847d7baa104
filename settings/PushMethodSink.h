#pragma once
#include "zenuModule/src/Types.h"

// The push engine's side of the settings dialog: event 0 asks it to let the user
// set the push method; the download manager it would hand movies to is named
// on the page.
class IPushMethodSink {
 public:
  virtual ~IPushMethodSink() = default;
  virtual void OnConfigDlgEvent(int iEvent) = 0;
  virtual bool FindDownloadManager(CString* strName, CString* strId) = 0;
};
