#include "TempHome.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "zenuModule/src/Log.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/TextCodec.h"

CTempHome::CTempHome() {
  char pattern[] = "/tmp/vadeko-test-XXXXXX";
  const char* made = mkdtemp(pattern);
  m_path = CString(made ? made : "/tmp") + "/";
  const char* previous = std::getenv("VADEKO_HOME");
  m_hadHome = previous != nullptr;
  if (previous) m_previousHome = previous;
  setenv("VADEKO_HOME", m_path.c_str(), 1);
  // The user's own folders (videos for the save folder) come from here, not
  // from the machine's account.
  const char* userHome = std::getenv("HOME");
  m_hadUserHome = userHome != nullptr;
  if (userHome) m_previousUserHome = userHome;
  setenv("HOME", m_path.substr(0, m_path.size() - 1).c_str(), 1);
  const CString home = Utf8ToGBK(m_path);
  SetTraceFilePath(home + "trace.log");
  SetErrorFilePath(home + "error.log");
}

CTempHome::~CTempHome() {
  DeleteDirectory(Utf8ToGBK(m_path));
  if (m_hadHome) {
    setenv("VADEKO_HOME", m_previousHome.c_str(), 1);
  } else {
    unsetenv("VADEKO_HOME");
  }
  if (m_hadUserHome) {
    setenv("HOME", m_previousUserHome.c_str(), 1);
  } else {
    unsetenv("HOME");
  }
  SetTraceFilePath("/tmp/trace.log");
  SetErrorFilePath("/tmp/error.log");
}

CString CTempHome::ReadFile(const CString& relative) const {
  std::ifstream in(m_path + relative, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

CString CTempHome::TraceLog() const { return Utf8ToGBK(ReadFile("trace.log")); }
CString CTempHome::ErrorLog() const { return Utf8ToGBK(ReadFile("error.log")); }
