#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "CatalogueHolder.h"
#include "Recommender.h"
#include "Store.h"

namespace zenu {

// Markers the client reads in expect_eval; any other value is a predicted rating.
constexpr double kCustomPushMarker = 100;
constexpr double kSearchPushMarker = 200;
constexpr double kFriendPushMarker = 300;

enum class PushMethod : int { kByRating = 1, kByKind = 2 };

// The three task request forms of the client plus the start-up request.
enum class TaskForm { kNormal, kQuick, kNewUser, kOldUser };

struct PlannerOptions final {
  int normalBatch = 5;
  int quickBatch = 3;
  int newUserBatch = 10;
  int oldUserBatch = 5;
  // Movies predicted below this are never pushed by rating: a 1 means "no more like this".
  double minPrediction = 2.0;
  // Requests other than the one after a rating only top the user's unrated pushes up to this.
  int unratedCap = 10;
};

struct PushedMovie final {
  const Movie* movie = nullptr;
  double expectEval = 0;
};

struct TaskResult final {
  // Nothing left to push by the user's method (not the same as holding back).
  bool exhausted = false;
  std::vector<PushedMovie> movies;
  // Keeps the movies pointed to alive after a rescan has published another catalogue.
  std::shared_ptr<const Catalogue> catalogue;
};

class PushPlanner final {
 public:
  PushPlanner(Store& store, const CatalogueHolder& catalogue, Recommender& recommender,
              PlannerOptions options);

  TaskResult RequestTask(const UserRecord& user, TaskForm form);
  // Stores the rating, feeds the model and hands a recommend-to-all 5 to the followers.
  void Rate(const RatingRecord& rating);
  // Records a movie pushed at once (search result); false when it had been pushed before.
  // `query`: the search that found it (UTF-8), empty when not known.
  bool PushNow(int64_t userId, uint32_t movieId, const std::string& query = {});
  // "Not interested": never pushed again, and it counts against what brought it. False when the
  // movie was never pushed to the user.
  bool Dismiss(int64_t userId, uint32_t movieId);

 private:
  int BatchSize(TaskForm form) const;
  std::string RatingReason(const Recommender::Pinned& model, int64_t userId, uint32_t movieId,
                           const Catalogue& catalogue) const;
  std::mutex& UserLock(int64_t userId) { return userLocks_[userId % userLocks_.size()]; }

  Store& store_;
  const CatalogueHolder& catalogue_;
  Recommender& recommender_;
  PlannerOptions options_;
  // Two requests of one user must not hand out the same movie twice.
  std::array<std::mutex, 64> userLocks_;
};

}  // namespace zenu
