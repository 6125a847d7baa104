#pragma once
#include "zenuModule/src/Types.h"

// A fresh program folder for one test: VADEKO_HOME and HOME point at it, the
// logs go into it, and it is removed afterwards.
class CTempHome final {
 public:
  CTempHome();
  ~CTempHome();
  CTempHome(const CTempHome&) = delete;
  CTempHome& operator=(const CTempHome&) = delete;

  // The folder, ending in '/', as UTF-8 (what the file system sees).
  const CString& Path() const { return m_path; }
  CString ReadFile(const CString& relative) const;
  // The logs are UTF-8 files; these give them back as the program's GBK text.
  CString TraceLog() const;
  CString ErrorLog() const;

 private:
  CString m_path;
  CString m_previousHome;
  bool m_hadHome;
  CString m_previousUserHome;
  bool m_hadUserHome = false;
};
