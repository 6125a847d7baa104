#pragma once

#include <string>

#include "Catalogue.h"

namespace zenu {

// opentracker from Debian tracks only the info hashes listed in its whitelist file; this keeps
// that list equal to the movies offered, so withdrawn ones are no longer tracked.
class TrackerWhitelist final {
 public:
  // The lowercase hex info hashes of the offered movies, sorted, one a line.
  static std::string Render(const Catalogue& catalogue);
  // Replaces the file atomically when its content differs, so the tracker never reads half a
  // list. Returns whether it wrote. Throws std::runtime_error.
  static bool Write(const std::string& path, const Catalogue& catalogue);
};

}  // namespace zenu
