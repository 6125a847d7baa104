#pragma once
#include "zenuModule/src/TemplHttpCaller.h"

class CEvalDoc;

// The rating report's request: success is the marker in the body.
class CEvalRequestCaller final : public CTemplHttpCaller {
 public:
  // Longest part of a refused body written to the trace log.
  static constexpr size_t kTraceBodyLimit = 4096;

  explicit CEvalRequestCaller(CEvalDoc& owner) : m_owner(owner) {}
  ~CEvalRequestCaller() override;
  CEvalRequestCaller(const CEvalRequestCaller&) = delete;
  CEvalRequestCaller& operator=(const CEvalRequestCaller&) = delete;

  // Refuses without network and reports the refusal as a failed rating.
  bool HttpRequest(CString strUrl, int nPort) override;
  void ProcessResult(CBuffer& buf) override;
  void ProcessState(SHttpState& /*state*/) override {}
  void ProcessError(CString strError) override;

  void SetRecognitionInfo(const CString& strMarker, const CString& strFailTrace,
                          const CString& strThird);
  const CString& GetMarker() const { return m_strMarker; }

  // The marker anywhere in the body, ignoring ASCII case and the body's
  // surrounding white space; GBK bytes are compared as they are.
  static bool ContainsMarker(const CString& strBody, const CString& strMarker);
  static CString LowerAscii(const CString& text);

 private:
  CEvalDoc& m_owner;
  CString m_strMarker;
  CString m_strFailTrace;
  CString m_strThird;
};
