#include "ProcessState.h"

#include <fstream>
#include <string>

bool ProcessGone(unsigned pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  // The state follows the command name, which may itself hold ") ".
  const size_t close = line.rfind(')');
  return close == std::string::npos || line.compare(close + 2, 1, "Z") == 0;
}
