#pragma once

#include <string>

namespace zenu {

// The first executable of that name in PATH, or "" when there is none.
std::string FindProgram(const std::string& name);

}  // namespace zenu
