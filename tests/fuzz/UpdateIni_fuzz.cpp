// The update description the service sends.
#include <cstdint>
#include <string>

#include "zenuModule/src/UpdateControl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SVersionInfo info;
  CUpdateControl::SetVersionInfo(std::string(reinterpret_cast<const char*>(data), size), info);
  return 0;
}
