#pragma once

#include <string>

namespace zenu {

struct MediaFacts final {
  int durationSeconds = 0;  // whole seconds of playing time; 0 when unknown
  std::string container;    // ffprobe's format name, e.g. "matroska,webm"; empty when unknown
};

// Film facts from ffprobe, when one is installed; the library works without it.
class MediaProbe final {
 public:
  // The ffprobe in PATH, empty when there is none.
  static std::string FindTool();
  // Empty facts when the tool fails or takes over 20 s.
  static MediaFacts Probe(const std::string& tool, const std::string& path);
};

}  // namespace zenu
