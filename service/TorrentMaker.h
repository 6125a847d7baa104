#pragma once

#include <string>

namespace zenu {

class TorrentMaker final {
 public:
  // A v1 torrent of one file, without web seed; throws std::runtime_error.
  static std::string Make(const std::string& contentFile, std::string* infoHashHex);
  // The web seed is added when the torrent is served, because the service's reachable address
  // is only known after it has bound its port. The info dictionary, and so the info-hash,
  // stays byte for byte the same.
  static std::string WithWebSeed(const std::string& torrent, const std::string& url);
};

}  // namespace zenu
