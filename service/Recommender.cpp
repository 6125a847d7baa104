#include "Recommender.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace zenu {
namespace {
constexpr double kDefaultMean = 3.0;
constexpr int kMaxKind = 63;
// Ids past this are not the service's own; they take no part in the model.
constexpr uint32_t kMaxMovieId = 1u << 24;
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
  if (movieId >= kMaxMovieId) return;
  std::unique_lock<std::shared_mutex> lock(mutex_);
  if (itemStats_.size() <= movieId) itemStats_.resize(movieId + 1);
  auto& mine = byUser_[userId];
  auto old = std::find_if(mine.begin(), mine.end(),
                          [movieId](const auto& r) { return r.first == movieId; });
  if (old != mine.end()) {
    double before = old->second;
    sum_ -= before;
    --count_;
    userStats_[userId].sum -= before;
    --userStats_[userId].count;
    itemStats_[movieId].sum -= before;
    --itemStats_[movieId].count;
  }
  if (old != mine.end()) {
    old->second = static_cast<float>(score);
  } else {
    mine.emplace_back(movieId, static_cast<float>(score));
  }
  auto& raters = byItem_[movieId];
  auto rater = std::find_if(raters.begin(), raters.end(),
                            [userId](const auto& r) { return r.first == userId; });
  if (rater != raters.end()) {
    rater->second = static_cast<float>(score);
  } else {
    raters.emplace_back(userId, static_cast<float>(score));
  }
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
  if (movieId >= itemStats_.size()) return 0;
  const ItemStats& item = itemStats_[movieId];
  return (item.sum - GlobalMeanLocked() * item.count) / (params_.itemShrink + item.count);
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

  // Adjusted cosine of every (candidate, rated) pair reached through a shared rater: the work
  // is bounded by the neighbourhood of the user's movies, not by the catalogue size. Sums are
  // kept per candidate in dense scratch arrays, one rated movie at a time.
  struct Sums final {
    float xy = 0, xx = 0, yy = 0;
    int n = 0;
  };
  thread_local std::vector<Sums> sums;
  thread_local std::vector<char> wanted;
  uint32_t top = 0;
  for (uint32_t id : candidates) top = std::max(top, id < kMaxMovieId ? id : 0);
  if (wanted.size() <= top) {
    wanted.resize(top + 1, 0);
    sums.resize(top + 1);
  }
  for (uint32_t id : candidates) {
    if (id < kMaxMovieId) wanted[id] = 1;
  }
  struct Neighbour final {
    uint32_t i, j;
    double sim;
  };
  std::vector<Neighbour> neighbours;
  std::vector<uint32_t> touched;
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
        if (i == j || i > top || !wanted[i]) continue;
        const float ci = rvi - vMean;
        Sums& at = sums[i];
        if (at.n++ == 0) touched.push_back(i);
        at.xy += ci * cj;
        at.xx += ci * ci;
        at.yy += cj * cj;
      }
    }
    for (uint32_t i : touched) {
      Sums& at = sums[i];
      if (at.xx > 0 && at.yy > 0) {
        double sim = at.xy / std::sqrt(static_cast<double>(at.xx) * at.yy) *
                     (at.n / (at.n + params_.similarityShrink));
        if (sim > 0) neighbours.push_back({i, j, sim});
      }
      at = Sums{};
    }
    touched.clear();
  }
  for (uint32_t id : candidates) {
    if (id < kMaxMovieId) wanted[id] = 0;
  }
  std::sort(neighbours.begin(), neighbours.end(), [](const Neighbour& a, const Neighbour& b) {
    return a.i != b.i ? a.i < b.i : a.sim > b.sim;
  });
  // Per candidate: the weighted sum and weight of its best positive neighbours.
  struct CfTerm final {
    uint32_t movie;
    double num, den;
  };
  std::vector<CfTerm> cf;
  for (size_t at = 0; at < neighbours.size();) {
    CfTerm term{neighbours[at].i, 0, 0};
    for (int n = 0; at < neighbours.size() && neighbours[at].i == term.movie; ++at, ++n) {
      if (n >= params_.neighbours) continue;
      term.num += neighbours[at].sim * residual[neighbours[at].j];
      term.den += neighbours[at].sim;
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
