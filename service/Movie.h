#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zenu {

enum class FetchMethod : int { kBitTorrent = 1, kDownloadManagerOnly = 5 };

// Why a movie is no longer offered; its id, ratings and bulletin stay.
enum class Withdrawal : int { kNone = 0, kFileGone = 1, kRetired = 2 };

struct Movie final {
  uint32_t id = 0;
  std::string title;  // UTF-8
  std::vector<int> kinds;
  int year = 0;
  uint64_t sizeBytes = 0;
  std::string description;  // UTF-8
  FetchMethod fetchMethod = FetchMethod::kBitTorrent;
  std::string fileName;  // ASCII, also the file name inside the torrent
  bool hasContent = false;
  std::string infoHash;  // hex; empty when no torrent was made
  // Library movies are served from their own file; demo movies from the data folder.
  std::string sourcePath;   // canonical path, empty for demo movies
  int64_t mtimeNs = 0;      // of sourcePath when it was hashed
  std::string contentKey;   // hex digest of the piece hashes: equal files, equal keys
  std::string posterPath;   // canonical path of the poster image, may be empty
  int durationSeconds = 0;  // 0 when unknown
  std::string container;    // as ffprobe names it ("matroska,webm"); empty when unknown
  Withdrawal withdrawal = Withdrawal::kNone;

  bool Available() const { return withdrawal == Withdrawal::kNone; }
};

}  // namespace zenu
