#pragma once

#include <string>
#include <vector>

namespace zenu {

class TorrentMaker final {
 public:
  // A v1 torrent of one file, without web seed; throws std::runtime_error.
  static std::string Make(const std::string& contentFile, std::string* infoHashHex);
  // The web seed is added when the torrent is served, because the service's reachable address
  // is only known after it has bound its port. The info dictionary, and so the info-hash,
  // stays byte for byte the same.
  static std::string WithWebSeed(const std::string& torrent, const std::string& url);
  // The trackers go outside the info dictionary too, so torrents made before a tracker was
  // configured announce to it without being hashed again. Each URL is a tier of its own: the
  // first is asked first. No trackers: the torrent unchanged.
  static std::string WithTrackers(const std::string& torrent, const std::vector<std::string>& urls);
};

}  // namespace zenu
