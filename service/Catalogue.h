#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "Movie.h"

namespace zenu {

// The movie list, read-only once built, so request threads share it without locks.
class Catalogue final {
 public:
  explicit Catalogue(std::vector<Movie> movies);

  const std::vector<Movie>& All() const { return movies_; }
  const Movie* Find(uint32_t id) const;
  // Movies not withdrawn.
  size_t AvailableCount() const;
  // Titles containing the query, or movies of the kind so named, or of that year; withdrawn movies
  // are left out.
  std::vector<const Movie*> Search(const std::string& utf8Query, size_t limit) const;

 private:
  std::vector<Movie> movies_;
  std::unordered_map<uint32_t, size_t> index_;
};

}  // namespace zenu
