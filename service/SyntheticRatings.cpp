#include "SyntheticRatings.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <unordered_set>

#include "MovieKinds.h"

namespace zenu {

std::vector<RatingRecord> SyntheticRatings::Generate(const Catalogue& catalogue,
                                                     SyntheticOptions options) {
  constexpr int kFactors = 4;
  std::mt19937_64 rng(options.seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  const auto& movies = catalogue.All();
  std::vector<double> quality(movies.size());
  std::vector<std::array<double, kFactors>> itemTaste(movies.size());
  for (size_t i = 0; i < movies.size(); ++i) {
    quality[i] = 0.5 * normal(rng);
    for (double& f : itemTaste[i]) f = 0.6 * normal(rng);
  }
  const size_t kindCount = MovieKinds::All().size() + 1;
  std::vector<RatingRecord> ratings;
  std::uniform_int_distribution<int> count(options.minRatingsPerUser, options.maxRatingsPerUser);
  std::uniform_int_distribution<size_t> pick(0, movies.size() - 1);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int u = 1; u <= options.users; ++u) {
    std::vector<double> kindLike(kindCount);
    for (double& k : kindLike) k = 0.8 * normal(rng);
    std::array<double, kFactors> taste;
    for (double& f : taste) f = 0.6 * normal(rng);
    double bias = 0.3 * normal(rng);
    int wanted = std::min<int>(count(rng), static_cast<int>(movies.size()));
    std::unordered_set<size_t> chosen;
    int attempts = 0;
    while (static_cast<int>(chosen.size()) < wanted && attempts++ < wanted * 50) {
      size_t i = pick(rng);
      if (chosen.count(i)) continue;
      double like = 0;
      for (int k : movies[i].kinds) like += kindLike[k];
      like /= std::max<size_t>(1, movies[i].kinds.size());
      // People mostly pick movies of kinds they like.
      if (unit(rng) > 1.0 / (1.0 + std::exp(-2.0 * like))) continue;
      chosen.insert(i);
      double dot = 0;
      for (int f = 0; f < kFactors; ++f) dot += taste[f] * itemTaste[i][f];
      double raw = 3.3 + quality[i] + bias + like + dot + 0.6 * normal(rng);
      int score = static_cast<int>(std::lround(std::clamp(raw, 1.0, 5.0)));
      ratings.push_back({u, movies[i].id, score, false, "", 0});
    }
  }
  return ratings;
}

}  // namespace zenu
