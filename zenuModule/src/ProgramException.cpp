#include "ProgramException.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "LocalTime.h"

namespace {
const char* ErrorTypeText(int type) {
  switch (type) {
    case 1:
      return "CException";
    case 2:
      return "C++";
    default:
      return "CProgramException";
  }
}
}  // namespace

CString CProgramException::StripPath(const CString& path) {
  // Source paths use '/', which never occurs as a GBK trail byte.
  const auto pos = path.rfind('/');
  return pos == CString::npos ? path : path.substr(pos + 1);
}

void CProgramException::SetError(const CString& message) {
  m_strError = message;
  CString text = "\n==========\n";
  text += "Time: " + FormatNowLocal() + "\n";
  text += "File: " + m_strFile + "\n";
  text += "Func: " + m_strFunction + "\n";
  text += "Line: " + std::to_string(m_iLine) + "\n";
  text += "Error: " + message + "\n";
  text += "Error Type: ";
  text += ErrorTypeText(m_iErrorType);
  m_strErrInfo = text;
}

void CProgramException::CallStack(const CString& file, const CString& function) {
  m_strErrInfo += "\nCallStack: " + StripPath(file) + ", " + function;
}

void CProgramException::ThrowErrorInfoV(const char* format, va_list args) {
  char message[5000] = {0};
  std::vsnprintf(message, sizeof message, format, args);
  SetError(message);
  throw this;
}

void CProgramException::ThrowErrorInfo(const char* format, ...) {
  va_list args;
  va_start(args, format);
  ThrowErrorInfoV(format, args);
}

BOOL CProgramException::GetErrorMessage(char* buffer, unsigned size, unsigned*) const {
  if (!buffer || size == 0) return TRUE;
  const size_t n = std::min<size_t>(m_strErrInfo.size(), size - 1);
  std::memcpy(buffer, m_strErrInfo.data(), n);
  buffer[n] = '\0';
  return TRUE;
}
