#include "Exception.h"

#include <cstring>

BOOL CException::GetErrorMessage(char* buffer, unsigned size, unsigned*) const {
  if (buffer && size > 0) buffer[0] = '\0';
  return FALSE;
}
