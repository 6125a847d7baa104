#pragma once
#include "zenuModule/src/Types.h"

// Finds the installed download manager (Thunder) and hands torrent files to it.
class COtherDownload final {
 public:
  // TRUE when an installed Thunder was found: *kind (preset by the caller, 7 =
  // none) and *iconPath are filled from its entry.
  BOOL DetectThunder(CString* iconPath, int* kind);
  // TRUE when the torrent file went to the program associated with torrents
  // and that program is Thunder; otherwise a message says why not.
  BOOL StartThunder(const CString& torrentFile);
  // The display name and desktop id of the download manager found, without a
  // word to the user; false when there is none.
  static bool FindThunder(CString* displayName, CString* desktopId);
};
