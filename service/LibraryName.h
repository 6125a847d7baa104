#pragma once

#include <string>
#include <vector>

namespace zenu {

struct NameGuess final {
  std::string title;  // UTF-8
  int year = 0;       // 0 when the name holds none
};

// What the path of a film inside a library tells: "Title (Year).mkv",
// "Title.Year.1080p.BluRay.x264-GROUP.mkv", "[site]中文名.Year.BD1080p.mkv",
// "Title (Year)/movie.mkv", and folders named after a genre ("Comedy/", "科幻/").
class LibraryName final {
 public:
  static bool IsVideo(const std::string& fileName);
  // A sample or trailer clip: a "sample" or "trailer" word in the file name, or a
  // "sample(s)"/"trailer(s)" folder on the way.
  static bool IsSample(const std::string& relativePath);
  static NameGuess Guess(const std::string& relativePath);
  // Kinds named by the folders between the library root and the file.
  static std::vector<int> FolderKinds(const std::string& relativePath);
  // The file name the torrent and the web seed URL carry: the file's own name when it is
  // plain ASCII, else one made from the content key.
  static std::string ServedName(const std::string& fileName, const std::string& contentKey);

  // A title the client can store and use as a folder name: it puts titles between
  // apostrophes in SQL and makes them the last element of the download path, so apostrophes,
  // double quotes and slashes become their full-width forms, control characters go, a leading
  // dot is made full-width and the length is kept under 200 bytes.
  static std::string SafeTitle(const std::string& utf8);

  static NameGuess ParseStem(const std::string& stem);
};

}  // namespace zenu
