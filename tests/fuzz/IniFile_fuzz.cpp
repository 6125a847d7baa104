// The INI reader and writer on any file content.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string file = [] {
    char name[] = "/tmp/vadeko-fuzz-ini-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) std::abort();
    ::close(fd);
    return std::string(name);
  }();
  const std::string content(reinterpret_cast<const char*>(data), size);
  if (!WriteWholeFile(file, content)) return 0;
  // Names taken from the content itself reach the sections and keys it holds.
  const size_t cut = content.find('\n');
  const std::string first = content.substr(0, cut == std::string::npos ? 16 : cut).substr(0, 32);
  for (const std::string& section : {std::string("DefaultUser"), first}) {
    for (const std::string& key : {std::string("UserName"), first}) {
      const CString value = IniGetString(file, section, key, "-1000");
      if (value.size() > 254) std::abort();
      IniGetInt(file, section, key, 0);
    }
  }
  IniWriteString(file, first, "Key", "value");
  IniDeleteKey(file, "DefaultUser", first);
  return 0;
}
