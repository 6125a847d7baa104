#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "Catalogue.h"

namespace zenu {

struct RecommenderParams final {
  double itemShrink = 5;        // pseudo-ratings at the global mean behind each item mean
  double userShrink = 3;        // same for the user's offset
  double similarityShrink = 8;  // co-raters needed before an item similarity is trusted
  double kindShrink = 2;        // ratings needed before a kind preference is trusted
  double kindWeight = 1.0;      // the kind preference counts as one neighbour of this similarity
  int neighbours = 30;
  // Item similarities are rebuilt from the ratings as a whole. Above 0: in the background, at
  // most this often, while predictions go on with the previous ones. 0: by the next Predict or
  // Explain that finds them behind the ratings.
  double similarityRefreshSeconds = 0;
};

struct Prediction final {
  uint32_t movieId = 0;
  double score = 0;
};

// One of the user's own movies behind a prediction; score 0 marks a dismissed movie.
struct Contribution final {
  uint32_t movieId = 0;
  int score = 0;
  double weight = 0;
};

// What a prediction rests on, strongest first. Empty `movies`: on the movie's popularity alone.
struct Explanation final {
  std::vector<Contribution> movies;
  // The movies are the user's rated movies of the candidate's kinds: the kind preference
  // weighed more than all neighbours together.
  bool byKind = false;
};

// Predicts a user's rating of unseen movies.
//
// baseline(u,i) = mean + itemOffset(i) + userOffset(u), both offsets shrunk towards 0; it is
// all a new user gets, so a newcomer is served by popularity (well-rated movies first).
// On top comes a residual: item-based collaborative filtering over the user's rated movies
// (adjusted cosine over co-raters, shrunk by the co-rater count, best `neighbours` positive
// neighbours), blended with the user's kind preference (mean residual of the user's ratings per
// movie kind, shrunk), which stands in as one extra neighbour of weight `kindWeight`:
//   residual = (sum_j sim(i,j) * d(u,j) + kindWeight * kind(u,i)) / (sum_j sim(i,j) + kindWeight)
// with d(u,j) = rating - baseline. The result is clamped to [1, 5].
//
// The similarities do not depend on the user asking, so they are computed for all co-rated
// pairs at once and shared by every request; a request only walks the similarity lists of its
// user's own movies. The user's own ratings and dismissals count at once: they are the movies
// whose lists are walked and the residuals weighed, and a user is never a co-rater of a pair
// with a movie the user has not rated.
class Recommender final {
  struct Similarities;

 public:
  // Predict and Explain on one state of the similarities: the reasons given for a push are
  // those of the prediction that chose it, even when a rebuild lands in between.
  class Pinned final {
   public:
    std::vector<Prediction> Predict(int64_t userId, const std::vector<uint32_t>& candidates) const;
    Explanation Explain(int64_t userId, uint32_t movieId, size_t limit = 3) const;

   private:
    friend class Recommender;
    Pinned(const Recommender& owner, std::shared_ptr<const Similarities> similarities)
        : owner_(owner), similarities_(std::move(similarities)) {}
    const Recommender& owner_;
    std::shared_ptr<const Similarities> similarities_;
  };

  explicit Recommender(const Catalogue& catalogue, RecommenderParams params = {});
  explicit Recommender(std::shared_ptr<const Catalogue> catalogue, RecommenderParams params = {});
  ~Recommender();
  Recommender(const Recommender&) = delete;
  Recommender& operator=(const Recommender&) = delete;
  // A rescan's catalogue; only the movies' kinds are read from it.
  void SetCatalogue(std::shared_ptr<const Catalogue> catalogue);

  // Replaces a previous rating of the same movie by the same user.
  void AddRating(int64_t userId, uint32_t movieId, int score);
  std::vector<Prediction> Predict(int64_t userId, const std::vector<uint32_t>& candidates) const;
  // The strongest terms of Predict for one movie: neighbours by sim * |residual|, or the
  // user's movies of its kinds by |residual| when the kind preference outweighs them.
  Explanation Explain(int64_t userId, uint32_t movieId, size_t limit = 3) const;
  // "Not interested": the movie counts, for this user's own predictions only, as rated 1.
  void AddDismissal(int64_t userId, uint32_t movieId);
  // The new-user prediction: global mean plus the item's shrunk offset.
  double Popularity(uint32_t movieId) const;
  size_t RatingCount() const;
  // Rebuilds the similarities from the ratings now, in the caller's thread.
  void RefreshSimilarities();
  Pinned Pin() const { return Pinned(*this, CurrentSimilarities()); }

 private:
  // Positive similarities, per movie (indexed by id) sorted by the other movie's id.
  struct Similarities final {
    std::vector<std::vector<std::pair<uint32_t, float>>> byItem;
    uint64_t version = 0;  // ratingsVersion_ they were built from
  };
  // Movies sharing a set of kinds share the kind term: it is computed once per set.
  struct KindSets final {
    std::vector<uint32_t> ofMovie;       // by movie id; 0: none
    std::vector<std::vector<int>> sets;  // sets[0] is empty
  };
  struct ItemStats final {
    double sum = 0;
    int count = 0;
  };
  struct UserModel final {
    std::vector<std::pair<uint32_t, float>> own;  // rated, then dismissed
    size_t ratedCount = 0;
    std::vector<double> residual;  // of each of `own`
    std::vector<std::pair<double, int>> kindResidual;
    double userOffset = 0;
  };
  // False for a user with neither ratings nor dismissals.
  std::vector<Prediction> PredictWith(const Similarities& similarities, int64_t userId,
                                      const std::vector<uint32_t>& candidates) const;
  Explanation ExplainWith(const Similarities& similarities, int64_t userId, uint32_t movieId,
                          size_t limit) const;
  bool UserModelLocked(int64_t userId, double mean, UserModel& model) const;
  double KindTermLocked(const UserModel& model, uint32_t movieId) const;
  double KindSetTermLocked(const UserModel& model, const std::vector<int>& kinds) const;
  static KindSets MakeKindSets(const Catalogue& catalogue);
  std::shared_ptr<const Similarities> BuildSimilarities() const;
  // The current similarities; with no background refresh, rebuilt first when behind.
  std::shared_ptr<const Similarities> CurrentSimilarities() const;
  void Publish(std::shared_ptr<const Similarities> similarities) const;
  void RefreshLoop();
  double ItemOffsetLocked(uint32_t movieId) const;
  double GlobalMeanLocked() const;

  std::shared_ptr<const Catalogue> catalogue_;
  KindSets kindSets_;
  RecommenderParams params_;
  mutable std::shared_mutex mutex_;
  // Flat lists: the prediction walks them in its innermost loop.
  std::unordered_map<int64_t, std::vector<std::pair<uint32_t, float>>> byUser_;
  std::unordered_map<uint32_t, std::vector<std::pair<int64_t, float>>> byItem_;
  std::unordered_map<int64_t, ItemStats> userStats_;
  std::unordered_map<int64_t, std::vector<uint32_t>> dismissed_;
  // Indexed by movie id: the service hands out ids from 1 up, and this is read for every
  // candidate of every request.
  std::vector<ItemStats> itemStats_;
  double sum_ = 0;
  int64_t count_ = 0;
  std::atomic<uint64_t> ratingsVersion_{0};

  mutable std::mutex similaritiesMutex_;
  mutable std::shared_ptr<const Similarities> similarities_;
  // One build at a time; a second caller waits for it instead of repeating it.
  mutable std::mutex buildMutex_;

  std::mutex refreshMutex_;
  std::condition_variable refreshWake_;
  bool stopping_ = false;
  std::thread refreshThread_;
};

}  // namespace zenu
