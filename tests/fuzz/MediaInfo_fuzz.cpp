// The media-info task document as the record database takes it from the local
// server (text the service chose).
#include <cstdint>
#include <string>

#include "tests/fuzz/FuzzDatabase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CGIDList gids;
  FuzzDatabase()->AddPushedRecord(std::string(reinterpret_cast<const char*>(data), size),
                                  kFuzzSaveFolder, &gids);
  return 0;
}
