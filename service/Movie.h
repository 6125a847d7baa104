#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zenu {

enum class FetchMethod : int { kBitTorrent = 1, kDownloadManagerOnly = 5 };

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
};

}  // namespace zenu
