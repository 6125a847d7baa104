#include "OperationWrapper.h"

#include <cstdarg>
#include <memory>

namespace zenu {

void ThrowConverted(int type, const char* file, int line, const char* function,
                    const char* message) {
  auto e = std::make_unique<CProgramException>();
  e->SetErrorType(type);
  e->SetFileName(file);
  e->SetLine(line);
  e->SetFunction(function);
  e->SetError(message);
  e->CallStack(file, function);
  throw e.release();
}

void RaiseError(const char* file, int line, const char* function, const char* format, ...) {
  auto e = std::make_unique<CProgramException>();
  e->SetFileName(file);
  e->SetLine(line);
  e->SetFunction(function);
  va_list args;
  va_start(args, format);
  e.release()->ThrowErrorInfoV(format, args);
}

}  // namespace zenu
