#pragma once

#include <cstdint>
#include <vector>

#include "Catalogue.h"
#include "Store.h"

namespace zenu {

struct SyntheticOptions final {
  int users = 1000;
  int minRatingsPerUser = 20;
  int maxRatingsPerUser = 80;
  uint64_t seed = 172;
};

// Ratings drawn from a hidden taste model: movie quality, a user's liking per movie kind and a
// few latent taste factors, plus noise; users mostly watch what they like. Used to measure
// push quality and to load a large store.
class SyntheticRatings final {
 public:
  static std::vector<RatingRecord> Generate(const Catalogue& catalogue, SyntheticOptions options);
};

}  // namespace zenu
