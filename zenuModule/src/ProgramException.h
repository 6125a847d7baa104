#pragma once
#include "Exception.h"

class CProgramException final : public CException {
 public:
  CProgramException() = default;
  ~CProgramException() override = default;

  void SetErrorType(int type) { m_iErrorType = type; }
  void SetFileName(const CString& path) { m_strFile = StripPath(path); }
  void SetLine(int line) { m_iLine = line; }
  void SetFunction(const CString& name) { m_strFunction = name; }
  void SetError(const CString& message);
  void CallStack(const CString& file, const CString& function);
  [[noreturn]] void ThrowErrorInfo(const char* format, ...) __attribute__((format(printf, 2, 3)));
  [[noreturn]] void ThrowErrorInfoV(const char* format, va_list args);

  BOOL GetErrorMessage(char* buffer, unsigned size, unsigned* helpContext = nullptr) const override;
  const CString& GetErrInfo() const { return m_strErrInfo; }
  const CString& GetError() const { return m_strError; }
  int GetErrorType() const { return m_iErrorType; }

  static CString StripPath(const CString& path);

 private:
  int m_iErrorType = 0;
  CString m_strErrInfo;
  CString m_strError;
  CString m_strFile;
  CString m_strFunction;
  int m_iLine = 0;
};
