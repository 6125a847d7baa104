#pragma once
#include <utility>
#include <vector>

#include "../Types.h"

// One installed program as the desktop lists it: its desktop id and its values
// ("DisplayName" for each Name key, "DisplayName[xx]" for a translated one,
// "DisplayIcon" for Icon), all GBK.
struct SInstalledApp {
  CString strId;
  std::vector<std::pair<CString, CString>> arrValues;
};

class IInstalledApps {
 public:
  virtual ~IInstalledApps() = default;
  // False when no applications folder could be read at all.
  virtual bool List(std::vector<SInstalledApp>& apps) = 0;
  // The desktop id of the default program for a MIME type; false when the
  // desktop cannot be asked.
  virtual bool DefaultFor(const CString& strMimeType, CString& strDesktopId) = 0;
};

// The system's: desktop entries below $XDG_DATA_HOME and $XDG_DATA_DIRS, and
// `xdg-mime query default`.
IInstalledApps& SystemInstalledApps();
// The user's videos folder as `xdg-user-dir VIDEOS` names it (GBK), else $HOME;
// empty when neither is known.
CString UserVideosFolder();
IInstalledApps& InstalledApps();
// nullptr goes back to the system's. The core never owns the object.
void SetInstalledApps(IInstalledApps* apps);
