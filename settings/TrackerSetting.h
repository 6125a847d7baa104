#pragma once
#include "zenuModule/src/Types.h"

// A tracker on this machine that the BitTorrent component may announce to:
// config.ini [sys] "TrackerHost" in the program folder ("host:port"). The
// component refuses trackers on this machine unless told their address; one
// elsewhere needs no word from us.
class CTrackerSetting final {
 public:
  // "host:port" for --tracker, or empty: none configured, unusable, or the
  // service (serviceHost) is not on this machine either.
  static CString ArgumentFor(const CString& serviceHost);
  static bool IsLoopbackHost(const CString& host);

  static constexpr const char* kKey = "TrackerHost";
};
