#include "ProgramPath.h"

#include <unistd.h>

#include <cstdlib>

namespace zenu {

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  const std::string dirs = path ? path : "/usr/bin:/bin";
  size_t from = 0;
  while (from <= dirs.size()) {
    size_t end = dirs.find(':', from);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(from, end - from) + "/" + name;
    if (end > from && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    from = end + 1;
  }
  return "";
}

}  // namespace zenu
