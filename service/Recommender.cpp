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
constexpr float kDismissedScore = 1;
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

void Recommender::AddDismissal(int64_t userId, uint32_t movieId) {
  if (movieId >= kMaxMovieId) return;
  std::unique_lock<std::shared_mutex> lock(mutex_);
  auto& mine = dismissed_[userId];
  if (std::find(mine.begin(), mine.end(), movieId) == mine.end()) mine.push_back(movieId);
}

bool Recommender::UserModelLocked(int64_t userId, double mean, UserModel& model) const {
  if (auto it = byUser_.find(userId); it != byUser_.end()) model.own = it->second;
  const size_t ratedCount = model.ratedCount = model.own.size();
  if (auto it = dismissed_.find(userId); it != dismissed_.end()) {
    for (uint32_t movie : it->second) {
      auto end = model.own.begin() + static_cast<std::ptrdiff_t>(ratedCount);
      if (std::none_of(model.own.begin(), end, [movie](const auto& r) { return r.first == movie; }))
        model.own.emplace_back(movie, kDismissedScore);
    }
  }
  if (model.own.empty()) return false;
  // A dismissal says nothing about how the user rates in general: the offset is from ratings.
  double offsetSum = 0;
  for (size_t n = 0; n < ratedCount; ++n) {
    offsetSum += model.own[n].second - mean - ItemOffsetLocked(model.own[n].first);
  }
  model.userOffset = offsetSum / (params_.userShrink + ratedCount);
  // Indexed by kind id; kinds are small numbers.
  model.kindResidual.assign(kMaxKind + 1, {0.0, 0});
  for (const auto& [movie, score] : model.own) {
    double d = score - (mean + ItemOffsetLocked(movie) + model.userOffset);
    model.residual[movie] = d;
    if (const Movie* m = catalogue_->Find(movie)) {
      for (int kind : m->kinds) {
        if (kind < 0 || kind > kMaxKind) continue;
        model.kindResidual[kind].first += d;
        ++model.kindResidual[kind].second;
      }
    }
  }
  return true;
}

double Recommender::KindTermLocked(const UserModel& model, uint32_t movieId) const {
  const Movie* m = catalogue_->Find(movieId);
  if (!m || m->kinds.empty()) return 0;
  double kindTerm = 0;
  for (int kind : m->kinds) {
    if (kind < 0 || kind > kMaxKind) continue;
    const auto& k = model.kindResidual[kind];
    kindTerm += k.first / (params_.kindShrink + k.second);
  }
  return kindTerm / static_cast<double>(m->kinds.size());
}

Explanation Recommender::Explain(int64_t userId, uint32_t movieId, size_t limit) const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  Explanation out;
  UserModel model;
  if (movieId >= kMaxMovieId || !UserModelLocked(userId, GlobalMeanLocked(), model)) return out;
  std::unordered_map<uint32_t, int> scoreOf;
  for (size_t n = 0; n < model.own.size(); ++n) {
    scoreOf[model.own[n].first] = n < model.ratedCount ? static_cast<int>(model.own[n].second) : 0;
  }
  // The same adjusted cosine as Predict, for one candidate against each of the user's movies.
  struct Sums final {
    double xy = 0, xx = 0, yy = 0;
    int n = 0;
  };
  std::unordered_map<uint32_t, Sums> sums;
  if (auto raters = byItem_.find(movieId); raters != byItem_.end()) {
    for (const auto& [v, rvi] : raters->second) {
      if (v == userId) continue;
      const auto& vs = userStats_.at(v);
      if (vs.count < 2) continue;
      const double vMean = vs.sum / vs.count;
      const double ci = rvi - vMean;
      for (const auto& [j, rvj] : byUser_.at(v)) {
        if (j == movieId || !model.residual.count(j)) continue;
        const double cj = rvj - vMean;
        Sums& at = sums[j];
        ++at.n;
        at.xy += ci * cj;
        at.xx += ci * ci;
        at.yy += cj * cj;
      }
    }
  }
  std::vector<std::pair<double, uint32_t>> bySim;
  for (const auto& [j, at] : sums) {
    if (at.xx <= 0 || at.yy <= 0) continue;
    double sim = at.xy / std::sqrt(at.xx * at.yy) * (at.n / (at.n + params_.similarityShrink));
    if (sim > 0) bySim.emplace_back(sim, j);
  }
  std::sort(bySim.begin(), bySim.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  });
  if (bySim.size() > static_cast<size_t>(std::max(params_.neighbours, 0))) {
    bySim.resize(static_cast<size_t>(std::max(params_.neighbours, 0)));
  }
  double neighbourWeight = 0;
  for (const auto& [sim, j] : bySim) {
    const double w = sim * std::abs(model.residual[j]);
    neighbourWeight += w;
    out.movies.push_back({j, scoreOf[j], w});
  }
  const double kindWeight = params_.kindWeight * std::abs(KindTermLocked(model, movieId));
  if (kindWeight > neighbourWeight) {
    out.byKind = true;
    out.movies.clear();
    const Movie* m = catalogue_->Find(movieId);
    for (const auto& own : model.own) {
      const uint32_t j = own.first;
      const Movie* rated = catalogue_->Find(j);
      if (!m || !rated) continue;
      bool shared = std::any_of(rated->kinds.begin(), rated->kinds.end(), [&](int k) {
        return std::find(m->kinds.begin(), m->kinds.end(), k) != m->kinds.end();
      });
      if (shared) out.movies.push_back({j, scoreOf[j], std::abs(model.residual[j])});
    }
  }
  std::sort(out.movies.begin(), out.movies.end(), [](const Contribution& a, const Contribution& b) {
    return a.weight != b.weight ? a.weight > b.weight : a.movieId < b.movieId;
  });
  out.movies.erase(std::remove_if(out.movies.begin(), out.movies.end(),
                                  [](const Contribution& c) { return c.weight <= 0; }),
                   out.movies.end());
  if (out.movies.size() > limit) out.movies.resize(limit);
  if (out.movies.empty()) out.byKind = false;
  return out;
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

  UserModel model;
  if (!UserModelLocked(userId, mean, model)) {
    for (uint32_t id : candidates) {
      out.push_back({id, std::clamp(mean + ItemOffsetLocked(id), 1.0, 5.0)});
    }
    return out;
  }
  const auto& rated = model.own;
  const double userOffset = model.userOffset;
  auto& residual = model.residual;

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
    const double kindTerm = KindTermLocked(model, id);
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
