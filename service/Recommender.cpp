#include "Recommender.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace zenu {
namespace {
constexpr double kDefaultMean = 3.0;
constexpr int kMaxKind = 63;
}  // namespace

Recommender::Recommender(const Catalogue& catalogue, RecommenderParams params)
    : Recommender(std::make_shared<const Catalogue>(catalogue), params) {}

Recommender::Recommender(std::shared_ptr<const Catalogue> catalogue, RecommenderParams params)
    : catalogue_(std::move(catalogue)), params_(params) {}

void Recommender::SetCatalogue(std::shared_ptr<const Catalogue> catalogue) {
  std::unique_lock<std::shared_mutex> lock(mutex_);
  catalogue_.swap(catalogue);
}

void Recommender::AddRating(int64_t userId, uint32_t movieId, int score) {
  std::unique_lock<std::shared_mutex> lock(mutex_);
  auto& mine = byUser_[userId];
  auto old = mine.find(movieId);
  if (old != mine.end()) {
    double before = old->second;
    sum_ -= before;
    --count_;
    userStats_[userId].sum -= before;
    --userStats_[userId].count;
    itemStats_[movieId].sum -= before;
    --itemStats_[movieId].count;
  }
  mine[movieId] = static_cast<float>(score);
  byItem_[movieId][userId] = static_cast<float>(score);
  sum_ += score;
  ++count_;
  userStats_[userId].sum += score;
  ++userStats_[userId].count;
  itemStats_[movieId].sum += score;
  ++itemStats_[movieId].count;
}

size_t Recommender::RatingCount() const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  return static_cast<size_t>(count_);
}

double Recommender::GlobalMeanLocked() const {
  return count_ > 0 ? sum_ / static_cast<double>(count_) : kDefaultMean;
}

double Recommender::ItemOffsetLocked(uint32_t movieId) const {
  auto it = itemStats_.find(movieId);
  if (it == itemStats_.end()) return 0;
  double mean = GlobalMeanLocked();
  return (it->second.sum - mean * it->second.count) / (params_.itemShrink + it->second.count);
}

double Recommender::Popularity(uint32_t movieId) const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  return std::clamp(GlobalMeanLocked() + ItemOffsetLocked(movieId), 1.0, 5.0);
}

std::vector<Prediction> Recommender::Predict(int64_t userId,
                                             const std::vector<uint32_t>& candidates) const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  const double mean = GlobalMeanLocked();
  std::vector<Prediction> out;
  out.reserve(candidates.size());

  auto userIt = byUser_.find(userId);
  if (userIt == byUser_.end() || userIt->second.empty()) {
    for (uint32_t id : candidates) {
      out.push_back({id, std::clamp(mean + ItemOffsetLocked(id), 1.0, 5.0)});
    }
    return out;
  }
  const auto& rated = userIt->second;

  // The user's offset and the residuals of the rated movies.
  double offsetSum = 0;
  for (const auto& [movie, score] : rated) offsetSum += score - mean - ItemOffsetLocked(movie);
  const double userOffset = offsetSum / (params_.userShrink + rated.size());
  std::unordered_map<uint32_t, double> residual;
  // Indexed by kind id; kinds are small numbers.
  std::vector<std::pair<double, int>> kindResidual(kMaxKind + 1);
  for (const auto& [movie, score] : rated) {
    double d = score - (mean + ItemOffsetLocked(movie) + userOffset);
    residual[movie] = d;
    if (const Movie* m = catalogue_->Find(movie)) {
      for (int kind : m->kinds) {
        if (kind < 0 || kind > kMaxKind) continue;
        kindResidual[kind].first += d;
        ++kindResidual[kind].second;
      }
    }
  }

  // Co-rating products for every (candidate, rated) pair reached through a shared rater: the
  // work is bounded by the neighbourhood of the user's movies, not by the catalogue size.
  struct Contribution final {
    uint32_t i, j;
    float xy, xx, yy;
  };
  std::vector<uint32_t> wanted(candidates);
  std::sort(wanted.begin(), wanted.end());
  std::vector<Contribution> contributions;
  for (const auto& [j, unused] : rated) {
    (void)unused;
    auto raters = byItem_.find(j);
    if (raters == byItem_.end()) continue;
    for (const auto& [v, rvj] : raters->second) {
      if (v == userId) continue;
      const auto& vs = userStats_.at(v);
      if (vs.count < 2) continue;
      const float vMean = static_cast<float>(vs.sum / vs.count);
      const float cj = rvj - vMean;
      for (const auto& [i, rvi] : byUser_.at(v)) {
        if (i == j || !std::binary_search(wanted.begin(), wanted.end(), i)) continue;
        const float ci = rvi - vMean;
        contributions.push_back({i, j, ci * cj, ci * ci, cj * cj});
      }
    }
  }
  std::sort(contributions.begin(), contributions.end(),
            [](const Contribution& a, const Contribution& b) {
              return a.i != b.i ? a.i < b.i : a.j < b.j;
            });
  // Per candidate: the weighted sum and weight of its best positive neighbours.
  struct CfTerm final {
    uint32_t movie;
    double num, den;
  };
  std::vector<CfTerm> cf;
  std::vector<std::pair<double, uint32_t>> sims;
  for (size_t at = 0; at < contributions.size();) {
    const uint32_t i = contributions[at].i;
    sims.clear();
    while (at < contributions.size() && contributions[at].i == i) {
      const uint32_t j = contributions[at].j;
      double xy = 0, xx = 0, yy = 0;
      int n = 0;
      for (; at < contributions.size() && contributions[at].i == i && contributions[at].j == j;
           ++at) {
        xy += contributions[at].xy;
        xx += contributions[at].xx;
        yy += contributions[at].yy;
        ++n;
      }
      if (xx <= 0 || yy <= 0) continue;
      double sim = xy / std::sqrt(xx * yy) * (n / (n + params_.similarityShrink));
      if (sim > 0) sims.push_back({sim, j});
    }
    if (sims.empty()) continue;
    size_t k = std::min<size_t>(sims.size(), static_cast<size_t>(params_.neighbours));
    std::partial_sort(sims.begin(), sims.begin() + k, sims.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    CfTerm term{i, 0, 0};
    for (size_t n = 0; n < k; ++n) {
      term.num += sims[n].first * residual[sims[n].second];
      term.den += sims[n].first;
    }
    cf.push_back(term);
  }

  for (uint32_t id : candidates) {
    double base = mean + ItemOffsetLocked(id) + userOffset;
    double kindTerm = 0;
    if (const Movie* m = catalogue_->Find(id); m && !m->kinds.empty()) {
      for (int kind : m->kinds) {
        if (kind < 0 || kind > kMaxKind) continue;
        const auto& k = kindResidual[kind];
        kindTerm += k.first / (params_.kindShrink + k.second);
      }
      kindTerm /= static_cast<double>(m->kinds.size());
    }
    double num = params_.kindWeight * kindTerm;
    double den = params_.kindWeight;
    auto term = std::lower_bound(cf.begin(), cf.end(), id,
                                 [](const CfTerm& t, uint32_t movie) { return t.movie < movie; });
    if (term != cf.end() && term->movie == id) {
      num += term->num;
      den += term->den;
    }
    out.push_back({id, std::clamp(base + num / den, 1.0, 5.0)});
  }
  return out;
}

}  // namespace zenu
