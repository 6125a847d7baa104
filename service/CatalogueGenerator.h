#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Movie.h"

namespace zenu {

struct CatalogueOptions final {
  int movies = 40;
  // Made-up viewers who rate the demo catalogue, so that pushes by rating have neighbours.
  int demoRaters = 12;
  // Content files get a deterministic size in [minBytes, maxBytes].
  uint64_t minBytes = 2u << 20;
  uint64_t maxBytes = 6u << 20;
  // Without content only the metadata exists (large catalogues for measurements); the
  // announced sizes are then those of full-length movies.
  bool makeContent = true;
  // Every n-th movie is offered to the download manager only.
  int downloadManagerOnlyEvery = 8;
  // An ffmpeg: content files are then short playable videos (MP4) instead of random bytes.
  std::string videoTool;
};

// The demo catalogue: Chinese titles, kinds that fit the title, content files whose bytes
// depend only on the movie id, and a torrent per BitTorrent movie.
class CatalogueGenerator final {
 public:
  explicit CatalogueGenerator(CatalogueOptions options);

  std::vector<Movie> Generate() const;
  // Writes content files and torrents below dataDir and fills hasContent and infoHash.
  void MakeContent(const std::string& dataDir, std::vector<Movie>& movies) const;

  static std::string ContentPath(const std::string& dataDir, const Movie& movie);
  static std::string TorrentPath(const std::string& dataDir, uint32_t movieId);
  // Byte `offset` of a movie's content; lets tests check served bytes without the file.
  static uint8_t ContentByte(uint32_t movieId, uint64_t offset);

 private:
  CatalogueOptions options_;
};

}  // namespace zenu
