#pragma once
#include "zenuModule/src/TemplHttpCaller.h"

class CRegLoginDoc;

// Carries the login and registration requests to the remote service and hands
// their outcome to the login document.
class CRegLoginRequester final : public CTemplHttpCaller {
 public:
  // The text in the body of every successful answer.
  static const char* SuccessMarker() { return "5B1E09C4-73AF-4d2e-9C81-E2F04A6B1D37 OK"; }

  explicit CRegLoginRequester(CRegLoginDoc& doc) : m_doc(doc) {}

  void ProcessResult(CBuffer& buf) override;
  void ProcessState(SHttpState& state) override;
  void ProcessError(CString strError) override;

 private:
  CRegLoginDoc& m_doc;
};
