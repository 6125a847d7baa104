#pragma once

#include <string>

namespace zenu {

// A few seconds of moving test picture with the title drawn on it and a tone,
// made by ffmpeg, so that a downloaded demo movie plays.
class DemoVideo final {
 public:
  // The ffmpeg found in PATH, empty when there is none.
  static std::string FindTool();
  // Writes an MP4 file to path; false (and no file) when the tool failed.
  static bool Make(const std::string& tool, const std::string& title, const std::string& path);
};

}  // namespace zenu
