#pragma once
#include <functional>

#include "../Types.h"

// File-system notifications on folders (no polling). Changes are delivered on
// the message loop's thread as the folder and the entry's name (both GBK): an
// entry created, written, closed after writing or moved in. An empty name says
// that notifications were lost and anything in the folder may have changed.
class IFolderWatch {
 public:
  virtual ~IFolderWatch() = default;
  using Listener = std::function<void(const CString& folder, const CString& name)>;
  // One listener; set before the first Add.
  virtual void SetListener(Listener listener) = 0;
  // false when the folder cannot be watched (missing, no rights, limit reached).
  virtual bool Add(const CString& folder) = 0;
  // Stops watching every folder; nothing is delivered afterwards.
  virtual void Clear() = 0;
};

// The system's watch: inotify, read by a thread of its own.
IFolderWatch& FolderWatch();
