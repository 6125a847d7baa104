#pragma once

#include <cstdint>
#include <string>

#include "Movie.h"

namespace zenu {

// Addresses handed to the client. Those the client fetches itself (bulletin, torrent) carry no
// port: the client writes its configured service port after the host. Those used by other
// programs (web seed, download-manager link) carry the port. All start with the public scheme.
class ServiceUrls final {
 public:
  // port 0: the scheme's own, written nowhere.
  ServiceUrls(std::string publicHost, int port, std::string scheme = "http");

  std::string Bulletin(uint32_t movieId) const;
  std::string Torrent(uint32_t movieId) const;
  std::string Content(const Movie& movie) const;
  // For pages: the poster of a library film.
  std::string Poster(uint32_t movieId) const;
  // Torrent address for BitTorrent movies, a thunder:// link to the content otherwise.
  std::string Fetch(const Movie& movie) const;
  std::string Update() const;

  static std::string ThunderLink(const std::string& url);

 private:
  std::string Root() const;      // scheme://host
  std::string RootPort() const;  // scheme://host[:port]

  std::string host_;
  int port_;
  std::string scheme_;
};

}  // namespace zenu
