#pragma once

#include <string>

namespace zenu {

// Film facts from ffprobe, when one is installed; the library works without it.
class MediaProbe final {
 public:
  // The ffprobe in PATH, empty when there is none.
  static std::string FindTool();
  // Whole seconds of playing time; 0 when unknown, when the tool fails or takes over 20 s.
  static int Duration(const std::string& tool, const std::string& path);
};

}  // namespace zenu
