// The argument line the BitTorrent component takes with StartBT.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "components/btdownload/ArgLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  SArgLine args;
  std::string error;
  if (ParseArgLine(line, args, error)) {
    if (args.torrentFile.empty() || args.saveFolder.empty()) std::abort();
    if (args.minPort < 0 || args.maxPort > 65535 || args.maxPort < args.minPort) std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  return 0;
}
