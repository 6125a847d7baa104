#include "PushPlanner.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "GbkText.h"
#include "MovieKinds.h"

namespace zenu {
namespace {
constexpr const char* kPopularReason = "大家评分高";
}  // namespace

PushPlanner::PushPlanner(Store& store, const CatalogueHolder& catalogue, Recommender& recommender,
                         PlannerOptions options)
    : store_(store), catalogue_(catalogue), recommender_(recommender), options_(options) {}

std::string PushPlanner::RatingReason(const Recommender::Pinned& model, int64_t userId,
                                      uint32_t movieId, const Catalogue& catalogue) const {
  const Explanation why = model.Explain(userId, movieId);
  std::string rated, dismissed;
  for (const Contribution& c : why.movies) {
    const Movie* m = catalogue.Find(c.movieId);
    if (!m) continue;
    if (c.score > 0) {
      rated += (rated.empty() ? "你给《" : "，给《") + m->title + "》打了" +
               std::to_string(c.score) + "分";
    } else {
      dismissed += (dismissed.empty() ? "你对《" : "、《") + m->title + "》";
    }
  }
  if (!dismissed.empty()) dismissed += "不感兴趣";
  if (rated.empty() && dismissed.empty()) return kPopularReason;
  return rated + (rated.empty() || dismissed.empty() ? "" : "，") + dismissed;
}

int PushPlanner::BatchSize(TaskForm form) const {
  switch (form) {
    case TaskForm::kQuick:
      return options_.quickBatch;
    case TaskForm::kNewUser:
      return options_.newUserBatch;
    case TaskForm::kOldUser:
      return options_.oldUserBatch;
    case TaskForm::kNormal:
      break;
  }
  return options_.normalBatch;
}

TaskResult PushPlanner::RequestTask(const UserRecord& user, TaskForm form) {
  std::lock_guard<std::mutex> lock(UserLock(user.id));
  const int batch = BatchSize(form);
  TaskResult result;
  result.catalogue = catalogue_.Get();
  const Catalogue& catalogue = *result.catalogue;

  // Sorted once, then looked up for every movie of the catalogue.
  std::vector<uint32_t> seen;
  auto see = [&seen](uint32_t movieId) { seen.push_back(movieId); };
  std::vector<uint32_t> pendingDelivered;
  std::vector<PushRecord> redeliver;
  const std::vector<PushRecord> pushes = store_.Pushes(user.id);
  for (const PushRecord& p : pushes) {
    see(p.movieId);
    if (p.dismissed) continue;
    if (!p.delivered) {
      if (const Movie* m = catalogue.Find(p.movieId); m && m->Available()) {
        result.movies.push_back({m, p.expectEval});
      }
      // A friend's push of a withdrawn movie is dropped, not kept waiting.
      pendingDelivered.push_back(p.movieId);
    } else if (form == TaskForm::kNewUser) {
      redeliver.push_back(p);
    }
  }
  std::unordered_set<uint32_t> rated;
  for (const RatingRecord& r : store_.RatingsOfUser(user.id)) {
    see(r.movieId);
    rated.insert(r.movieId);
  }
  // A client start must not pile up movies nobody asked for; a rating asks.
  int freshLimit = batch;
  if (form != TaskForm::kQuick) {
    int unrated = 0;
    for (const PushRecord& p : pushes) unrated += rated.count(p.movieId) ? 0 : 1;
    freshLimit = std::min(batch, std::max(0, options_.unratedCap - unrated));
  }
  // A client with an empty store lost what it had been sent: send the unrated ones again.
  for (const PushRecord& p : redeliver) {
    if (static_cast<int>(result.movies.size()) >= batch) break;
    if (rated.count(p.movieId)) continue;
    const Movie* m = catalogue.Find(p.movieId);
    if (m && m->Available()) result.movies.push_back({m, p.expectEval});
  }

  std::vector<int> kinds;
  if (user.pushMethod == static_cast<int>(PushMethod::kByKind)) kinds = store_.Kinds(user.id);
  std::vector<uint32_t> candidates;
  // Nothing new goes out: the catalogue need not be scored.
  if (freshLimit > 0) {
    std::sort(seen.begin(), seen.end());
    for (const Movie& m : catalogue.All()) {
      if (std::binary_search(seen.begin(), seen.end(), m.id) || !m.Available()) continue;
      if (!kinds.empty() && std::none_of(m.kinds.begin(), m.kinds.end(), [&](int k) {
            return std::find(kinds.begin(), kinds.end(), k) != kinds.end();
          })) {
        continue;
      }
      candidates.push_back(m.id);
    }
  }
  const Recommender::Pinned model = recommender_.Pin();
  std::vector<Prediction> predictions;
  if (!candidates.empty()) predictions = model.Predict(user.id, candidates);
  if (kinds.empty()) {
    predictions.erase(
        std::remove_if(predictions.begin(), predictions.end(),
                       [&](const Prediction& p) { return p.score < options_.minPrediction; }),
        predictions.end());
  }
  size_t best = std::min(predictions.size(), static_cast<size_t>(std::max(freshLimit, 0)));
  std::partial_sort(predictions.begin(), predictions.begin() + best, predictions.end(),
                    [](const Prediction& a, const Prediction& b) {
                      return a.score != b.score ? a.score > b.score : a.movieId < b.movieId;
                    });
  predictions.resize(best);

  std::vector<PushRecord> fresh;
  for (const Prediction& p : predictions) {
    if (static_cast<int>(fresh.size()) >= freshLimit) break;
    double expect = kinds.empty() ? std::round(p.score * 100) / 100 : kCustomPushMarker;
    std::string reason;
    if (kinds.empty()) {
      reason = RatingReason(model, user.id, p.movieId, catalogue);
    } else {
      for (int k : catalogue.Find(p.movieId)->kinds) {
        if (std::find(kinds.begin(), kinds.end(), k) == kinds.end()) continue;
        reason += (reason.empty() ? "符合你选的类型：" : "、") + MovieKinds::Name(k).value_or("");
      }
    }
    fresh.push_back({user.id, p.movieId, expect, true, 0, reason});
    result.movies.push_back({catalogue.Find(p.movieId), expect});
  }
  if (!fresh.empty() || !pendingDelivered.empty()) {
    // Another service process on the same database may have delivered some of them first.
    std::vector<uint32_t> taken = store_.RecordDelivery(user.id, fresh, pendingDelivered);
    std::unordered_set<uint32_t> ours(taken.begin(), taken.end());
    std::unordered_set<uint32_t> recorded(pendingDelivered.begin(), pendingDelivered.end());
    for (const PushRecord& p : fresh) recorded.insert(p.movieId);
    result.movies.erase(std::remove_if(result.movies.begin(), result.movies.end(),
                                       [&](const PushedMovie& m) {
                                         return recorded.count(m.movie->id) &&
                                                !ours.count(m.movie->id);
                                       }),
                        result.movies.end());
  }
  result.exhausted = result.movies.empty() && freshLimit > 0;
  return result;
}

void PushPlanner::Rate(const RatingRecord& rating) {
  store_.SaveRating(rating);
  recommender_.AddRating(rating.userId, rating.movieId, rating.score);
  if (rating.score != 5 || !rating.recommendAll) return;
  std::vector<int64_t> followers = store_.Followers(rating.userId);
  if (followers.empty()) return;
  std::string reason;
  if (auto friendUser = store_.FindUserById(rating.userId)) {
    reason = GbkText::ToUtf8Lossy(friendUser->name) + "推荐";
  }
  if (!rating.comment.empty()) reason += "：" + rating.comment;
  for (int64_t follower : followers) {
    std::lock_guard<std::mutex> lock(UserLock(follower));
    store_.AddPendingPush(
        {follower, rating.movieId, kFriendPushMarker, false, rating.userId, reason});
  }
}

bool PushPlanner::PushNow(int64_t userId, uint32_t movieId, const std::string& query) {
  std::lock_guard<std::mutex> lock(UserLock(userId));
  for (const PushRecord& p : store_.Pushes(userId)) {
    if (p.movieId == movieId) return false;
  }
  std::string reason = query.empty() ? "来自你的搜索" : "你搜索了“" + query + "”";
  return !store_.RecordDelivery(userId, {{userId, movieId, kSearchPushMarker, true, 0, reason}}, {})
              .empty();
}

bool PushPlanner::Dismiss(int64_t userId, uint32_t movieId) {
  std::lock_guard<std::mutex> lock(UserLock(userId));
  if (!store_.Dismiss(userId, movieId)) return false;
  recommender_.AddDismissal(userId, movieId);
  return true;
}

}  // namespace zenu
