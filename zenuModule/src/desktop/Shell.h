#pragma once
#include "../Types.h"

// Opening a file or URL with the desktop's default handler.
class IShell {
 public:
  virtual ~IShell() = default;
  // target is GBK; true when the handler was started.
  virtual bool Open(const CString& target) = 0;
  // Like Open, but waits a few seconds for the opener's word: false also when
  // it reports that nothing could open the target.
  virtual bool OpenChecked(const CString& target) { return Open(target); }
  // Opens target (a URL) in the desktop's default program for mimeType, which
  // the URL alone would not reach: an http address goes to a browser.
  // Without such a program, as Open.
  virtual bool OpenWithDefaultFor(const CString& target, const CString& mimeType) {
    (void)mimeType;
    return Open(target);
  }
};

// The system's shell: xdg-open, started detached.
IShell& SystemShell();
// The shell in use: the one installed (the UI layer's or a test's), else the system's.
IShell& Shell();
// nullptr goes back to the system's shell. The core never owns the object.
void SetShell(IShell* shell);
