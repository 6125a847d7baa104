#pragma once
// Every operation body sits between OP_BEGIN and OP_END so that a passing program
// error gains one call-stack line and foreign exceptions become program errors.
#include <cstdarg>
#include <exception>

#include "ProgramException.h"

namespace zenu {
[[noreturn]] void ThrowConverted(int type, const char* file, int line, const char* function,
                                 const char* message);
[[noreturn]] void RaiseError(const char* file, int line, const char* function, const char* format,
                             ...) __attribute__((format(printf, 4, 5)));
}  // namespace zenu

#define OP_BEGIN(name)                  \
  const char* const zenuOpName_ = name; \
  try {
#define OP_END                                                                    \
  }                                                                               \
  catch (CProgramException * zenuPe_) {                                           \
    zenuPe_->CallStack(__FILE__, zenuOpName_);                                    \
    throw;                                                                        \
  }                                                                               \
  catch (CException * zenuFe_) {                                                  \
    char zenuMsg_[2000] = {0};                                                    \
    zenuFe_->GetErrorMessage(zenuMsg_, sizeof zenuMsg_);                          \
    zenuFe_->Delete();                                                            \
    ::zenu::ThrowConverted(1, __FILE__, __LINE__, zenuOpName_, zenuMsg_);         \
  }                                                                               \
  catch (const std::exception& zenuSe_) {                                         \
    ::zenu::ThrowConverted(1, __FILE__, __LINE__, zenuOpName_, zenuSe_.what());   \
  }                                                                               \
  catch (...) {                                                                   \
    ::zenu::ThrowConverted(2, __FILE__, __LINE__, zenuOpName_, "Pure C++ error"); \
  }

// Raises a program error of the current operation (type 0) with a printf format.
#define RAISE_ERROR(...) ::zenu::RaiseError(__FILE__, __LINE__, zenuOpName_, __VA_ARGS__)
