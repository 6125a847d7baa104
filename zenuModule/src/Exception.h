#pragma once
#include "Types.h"

// Base of the exceptions the program throws by pointer. Whoever catches one last
// owns it and calls Delete().
class CException {
 public:
  CException() = default;
  CException(const CException&) = delete;
  CException& operator=(const CException&) = delete;
  virtual ~CException() = default;

  // Copies the message with its terminating zero into buffer (cut to fit).
  virtual BOOL GetErrorMessage(char* buffer, unsigned size, unsigned* helpContext = nullptr) const;
  void Delete() {
    if (m_bAutoDelete) delete this;
  }

 protected:
  bool m_bAutoDelete = true;
};

// Thrown to leave an operation early on request; caught by the code that throws it.
class CFuncExitException final : public CException {};
