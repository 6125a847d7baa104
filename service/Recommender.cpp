#include "Recommender.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>

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
    : catalogue_(std::move(catalogue)),
      kindSets_(MakeKindSets(*catalogue_)),
      params_(params),
      similarities_(std::make_shared<const Similarities>()) {
  if (params_.similarityRefreshSeconds > 0) refreshThread_ = std::thread([this] { RefreshLoop(); });
}

Recommender::~Recommender() {
  {
    std::lock_guard<std::mutex> lock(refreshMutex_);
    stopping_ = true;
  }
  refreshWake_.notify_all();
  if (refreshThread_.joinable()) refreshThread_.join();
}

Recommender::KindSets Recommender::MakeKindSets(const Catalogue& catalogue) {
  KindSets out;
  out.sets.emplace_back();
  std::map<std::vector<int>, uint32_t> index;
  for (const Movie& m : catalogue.All()) {
    if (m.id >= kMaxMovieId || m.kinds.empty()) continue;
    auto [at, added] = index.emplace(m.kinds, static_cast<uint32_t>(out.sets.size()));
    if (added) out.sets.push_back(m.kinds);
    if (out.ofMovie.size() <= m.id) out.ofMovie.resize(m.id + 1, 0);
    out.ofMovie[m.id] = at->second;
  }
  return out;
}

void Recommender::SetCatalogue(std::shared_ptr<const Catalogue> catalogue) {
  KindSets kindSets = MakeKindSets(*catalogue);
  std::unique_lock<std::shared_mutex> lock(mutex_);
  catalogue_.swap(catalogue);
  kindSets_ = std::move(kindSets);
}

void Recommender::RefreshLoop() {
  const auto period = std::chrono::duration<double>(params_.similarityRefreshSeconds);
  std::unique_lock<std::mutex> lock(refreshMutex_);
  while (!refreshWake_.wait_for(lock, period, [this] { return stopping_; })) {
    lock.unlock();
    uint64_t built;
    {
      std::lock_guard<std::mutex> current(similaritiesMutex_);
      built = similarities_->version;
    }
    if (built != ratingsVersion_.load()) RefreshSimilarities();
    lock.lock();
  }
}

void Recommender::RefreshSimilarities() {
  std::lock_guard<std::mutex> build(buildMutex_);
  Publish(BuildSimilarities());
}

void Recommender::Publish(std::shared_ptr<const Similarities> similarities) const {
  std::lock_guard<std::mutex> lock(similaritiesMutex_);
  // A slower build of older ratings must not replace a newer one.
  if (similarities->version >= similarities_->version) similarities_ = std::move(similarities);
}

std::shared_ptr<const Recommender::Similarities> Recommender::CurrentSimilarities() const {
  {
    std::lock_guard<std::mutex> lock(similaritiesMutex_);
    if (params_.similarityRefreshSeconds > 0 || similarities_->version == ratingsVersion_.load())
      return similarities_;
  }
  std::lock_guard<std::mutex> build(buildMutex_);
  {
    std::lock_guard<std::mutex> lock(similaritiesMutex_);
    if (similarities_->version == ratingsVersion_.load()) return similarities_;
  }
  Publish(BuildSimilarities());
  std::lock_guard<std::mutex> lock(similaritiesMutex_);
  return similarities_;
}

std::shared_ptr<const Recommender::Similarities> Recommender::BuildSimilarities() const {
  // The ratings are copied out centred on each rater's mean, so the lock is held only for the
  // copy and not for the pairs. Raters with a single rating say nothing about similarity.
  std::vector<std::vector<std::pair<uint32_t, float>>> byRater;
  auto out = std::make_shared<Similarities>();
  uint32_t top = 0;
  {
    std::shared_lock<std::shared_mutex> lock(mutex_);
    out->version = ratingsVersion_.load();
    byRater.reserve(byUser_.size());
    for (const auto& [user, ratings] : byUser_) {
      if (ratings.size() < 2) continue;
      const ItemStats& stats = userStats_.at(user);
      const float userMean = static_cast<float>(stats.sum / stats.count);
      auto& centred = byRater.emplace_back();
      centred.reserve(ratings.size());
      for (const auto& [movie, score] : ratings) {
        centred.emplace_back(movie, score - userMean);
        top = std::max(top, movie);
      }
    }
  }
  std::vector<std::vector<std::pair<uint32_t, float>>> byItem(byRater.empty() ? 0 : top + 1);
  for (uint32_t rater = 0; rater < byRater.size(); ++rater) {
    for (const auto& [movie, centred] : byRater[rater]) byItem[movie].emplace_back(rater, centred);
  }
  // Adjusted cosine of every co-rated pair, one movie at a time in dense scratch sums.
  struct Sums final {
    double xy = 0, xx = 0, yy = 0;
    int n = 0;
  };
  std::vector<Sums> sums(byItem.size());
  std::vector<uint32_t> touched;
  out->byItem.resize(byItem.size());
  for (uint32_t j = 0; j < byItem.size(); ++j) {
    for (const auto& [rater, cj] : byItem[j]) {
      for (const auto& [i, ci] : byRater[rater]) {
        if (i == j) continue;
        Sums& at = sums[i];
        if (at.n++ == 0) touched.push_back(i);
        at.xy += static_cast<double>(ci) * cj;
        at.xx += static_cast<double>(ci) * ci;
        at.yy += static_cast<double>(cj) * cj;
      }
    }
    std::sort(touched.begin(), touched.end());
    auto& list = out->byItem[j];
    for (uint32_t i : touched) {
      Sums& at = sums[i];
      if (at.xx > 0 && at.yy > 0) {
        const double sim =
            at.xy / std::sqrt(at.xx * at.yy) * (at.n / (at.n + params_.similarityShrink));
        if (sim > 0) list.emplace_back(i, static_cast<float>(sim));
      }
      at = Sums{};
    }
    list.shrink_to_fit();
    touched.clear();
  }
  return out;
}

void Recommender::AddRating(int64_t userId, uint32_t movieId, int score) {
  if (movieId >= kMaxMovieId) return;
  std::unique_lock<std::shared_mutex> lock(mutex_);
  if (itemStats_.size() <= movieId) itemStats_.resize(movieId + 1);
  auto& mine = byUser_[userId];
  auto old = std::find_if(mine.begin(), mine.end(),
                          [movieId](const auto& r) { return r.first == movieId; });
  // Ratings taken up again from the database change nothing and cost no rebuild.
  if (old != mine.end() && old->second == static_cast<float>(score)) return;
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
  ++ratingsVersion_;
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
  model.residual.reserve(model.own.size());
  for (const auto& [movie, score] : model.own) {
    double d = score - (mean + ItemOffsetLocked(movie) + model.userOffset);
    model.residual.push_back(d);
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
  return m ? KindSetTermLocked(model, m->kinds) : 0;
}

double Recommender::KindSetTermLocked(const UserModel& model, const std::vector<int>& kinds) const {
  if (kinds.empty()) return 0;
  double kindTerm = 0;
  for (int kind : kinds) {
    if (kind < 0 || kind > kMaxKind) continue;
    const auto& k = model.kindResidual[kind];
    kindTerm += k.first / (params_.kindShrink + k.second);
  }
  return kindTerm / static_cast<double>(kinds.size());
}

Explanation Recommender::Explain(int64_t userId, uint32_t movieId, size_t limit) const {
  return ExplainWith(*CurrentSimilarities(), userId, movieId, limit);
}

Explanation Recommender::Pinned::Explain(int64_t userId, uint32_t movieId, size_t limit) const {
  return owner_.ExplainWith(*similarities_, userId, movieId, limit);
}

Explanation Recommender::ExplainWith(const Similarities& similarities, int64_t userId,
                                     uint32_t movieId, size_t limit) const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  Explanation out;
  UserModel model;
  if (movieId >= kMaxMovieId || !UserModelLocked(userId, GlobalMeanLocked(), model)) return out;
  // The neighbours Predict takes: the same similarities, order and cut.
  std::vector<std::pair<double, size_t>> bySim;
  for (size_t k = 0; k < model.own.size(); ++k) {
    const uint32_t j = model.own[k].first;
    if (j == movieId || j >= similarities.byItem.size()) continue;
    const auto& list = similarities.byItem[j];
    auto at = std::lower_bound(list.begin(), list.end(), movieId,
                               [](const auto& e, uint32_t id) { return e.first < id; });
    if (at != list.end() && at->first == movieId) bySim.emplace_back(at->second, k);
  }
  std::sort(bySim.begin(), bySim.end(), [&](const auto& a, const auto& b) {
    return a.first != b.first ? a.first > b.first
                              : model.own[a.second].first < model.own[b.second].first;
  });
  if (bySim.size() > static_cast<size_t>(std::max(params_.neighbours, 0))) {
    bySim.resize(static_cast<size_t>(std::max(params_.neighbours, 0)));
  }
  auto scoreOf = [&](size_t k) {
    return k < model.ratedCount ? static_cast<int>(model.own[k].second) : 0;
  };
  double neighbourWeight = 0;
  for (const auto& [sim, k] : bySim) {
    const double w = sim * std::abs(model.residual[k]);
    neighbourWeight += w;
    out.movies.push_back({model.own[k].first, scoreOf(k), w});
  }
  const double kindWeight = params_.kindWeight * std::abs(KindTermLocked(model, movieId));
  if (kindWeight > neighbourWeight) {
    out.byKind = true;
    out.movies.clear();
    const Movie* m = catalogue_->Find(movieId);
    for (size_t k = 0; k < model.own.size(); ++k) {
      const uint32_t j = model.own[k].first;
      const Movie* rated = catalogue_->Find(j);
      if (!m || !rated) continue;
      bool shared = std::any_of(rated->kinds.begin(), rated->kinds.end(), [&](int kind) {
        return std::find(m->kinds.begin(), m->kinds.end(), kind) != m->kinds.end();
      });
      if (shared) out.movies.push_back({j, scoreOf(k), std::abs(model.residual[k])});
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
  return PredictWith(*CurrentSimilarities(), userId, candidates);
}

std::vector<Prediction> Recommender::Pinned::Predict(
    int64_t userId, const std::vector<uint32_t>& candidates) const {
  return owner_.PredictWith(*similarities_, userId, candidates);
}

std::vector<Prediction> Recommender::PredictWith(const Similarities& similarities, int64_t userId,
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

  // Per candidate reached from the user's own movies: the weighted sum and weight of its
  // neighbours, in dense scratch arrays indexed by movie id.
  struct CfTerm final {
    double num = 0, den = 0;
    int n = 0;
    char wanted = 0;
  };
  thread_local std::vector<CfTerm> cf;
  uint32_t top = 0;
  for (uint32_t id : candidates) top = std::max(top, id < kMaxMovieId ? id : 0);
  if (cf.size() <= top) cf.resize(top + 1);
  for (uint32_t id : candidates) {
    if (id < kMaxMovieId) cf[id].wanted = 1;
  }
  const int kept = std::max(params_.neighbours, 0);
  std::vector<uint32_t> crowded;
  for (size_t k = 0; k < model.own.size(); ++k) {
    const uint32_t j = model.own[k].first;
    if (j >= similarities.byItem.size()) continue;
    for (const auto& [i, sim] : similarities.byItem[j]) {
      if (i > top || !cf[i].wanted) continue;
      CfTerm& term = cf[i];
      term.num += sim * model.residual[k];
      term.den += sim;
      if (++term.n == kept + 1) crowded.push_back(i);
    }
  }
  // The few candidates with more neighbours than are taken: the best ones, as Explain picks.
  std::vector<std::pair<float, size_t>> best;
  for (uint32_t i : crowded) {
    best.clear();
    for (size_t k = 0; k < model.own.size(); ++k) {
      const uint32_t j = model.own[k].first;
      if (j >= similarities.byItem.size()) continue;
      const auto& list = similarities.byItem[j];
      auto at = std::lower_bound(list.begin(), list.end(), i,
                                 [](const auto& e, uint32_t id) { return e.first < id; });
      if (at != list.end() && at->first == i) best.emplace_back(at->second, k);
    }
    std::sort(best.begin(), best.end(), [&](const auto& a, const auto& b) {
      return a.first != b.first ? a.first > b.first
                                : model.own[a.second].first < model.own[b.second].first;
    });
    CfTerm& term = cf[i];
    term.num = term.den = 0;
    for (size_t n = 0; n < best.size() && n < static_cast<size_t>(kept); ++n) {
      term.num += best[n].first * model.residual[best[n].second];
      term.den += best[n].first;
    }
  }

  std::vector<double> kindTerms(kindSets_.sets.size());
  for (size_t set = 0; set < kindSets_.sets.size(); ++set) {
    kindTerms[set] = KindSetTermLocked(model, kindSets_.sets[set]);
  }
  for (uint32_t id : candidates) {
    double base = mean + ItemOffsetLocked(id) + model.userOffset;
    const double kindTerm = id < kindSets_.ofMovie.size() ? kindTerms[kindSets_.ofMovie[id]] : 0;
    double num = params_.kindWeight * kindTerm;
    double den = params_.kindWeight;
    if (id < kMaxMovieId && cf[id].n > 0) {
      num += cf[id].num;
      den += cf[id].den;
    }
    out.push_back({id, std::clamp(base + num / den, 1.0, 5.0)});
  }
  for (uint32_t id : candidates) {
    if (id < kMaxMovieId) cf[id] = CfTerm{};
  }
  return out;
}

}  // namespace zenu
