#include "Recommender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <thread>

#include "Catalogue.h"
#include "CatalogueGenerator.h"
#include "SyntheticRatings.h"

namespace zenu {
namespace {

Movie MakeMovie(uint32_t id, std::vector<int> kinds) {
  Movie m;
  m.id = id;
  m.title = "m" + std::to_string(id);
  m.kinds = std::move(kinds);
  return m;
}

double ScoreOf(const std::vector<Prediction>& predictions, uint32_t id) {
  for (const auto& p : predictions) {
    if (p.movieId == id) return p.score;
  }
  ADD_FAILURE() << "no prediction for " << id;
  return 0;
}

TEST(RecommenderTest, NewUserGetsPopularityOrder) {
  Catalogue catalogue({MakeMovie(1, {1}), MakeMovie(2, {1}), MakeMovie(3, {1})});
  Recommender r(catalogue);
  for (int u = 1; u <= 10; ++u) {
    r.AddRating(u, 1, 5);
    r.AddRating(u, 2, 2);
  }
  auto p = r.Predict(99, {1, 2, 3});
  EXPECT_GT(ScoreOf(p, 1), ScoreOf(p, 3));
  EXPECT_GT(ScoreOf(p, 3), ScoreOf(p, 2));
  EXPECT_DOUBLE_EQ(ScoreOf(p, 1), r.Popularity(1));
  // Shrinkage keeps a movie with few ratings near the mean.
  EXPECT_LT(r.Popularity(1), 5.0);
}

TEST(RecommenderTest, EmptyModelPredictsTheDefaultMean) {
  Catalogue catalogue({MakeMovie(1, {1})});
  Recommender r(catalogue);
  EXPECT_DOUBLE_EQ(r.Predict(1, {1})[0].score, 3.0);
}

TEST(RecommenderTest, CoRatersDecideBetweenMoviesOfTheSameKind) {
  // Movies 1 and 2 are liked by the same people, 3 by the others; all share one kind so only
  // collaborative filtering can tell them apart.
  Catalogue catalogue({MakeMovie(1, {6}), MakeMovie(2, {6}), MakeMovie(3, {6}), MakeMovie(4, {6})});
  Recommender r(catalogue);
  for (int u = 1; u <= 20; ++u) {
    bool first = u <= 10;
    r.AddRating(u, 1, first ? 5 : 1);
    r.AddRating(u, 2, first ? 5 : 1);
    r.AddRating(u, 3, first ? 1 : 5);
    r.AddRating(u, 4, 3);
  }
  r.AddRating(100, 1, 5);
  r.AddRating(100, 4, 3);
  auto p = r.Predict(100, {2, 3});
  EXPECT_GT(ScoreOf(p, 2), ScoreOf(p, 3) + 0.5);
}

TEST(RecommenderTest, ReRatingReplacesTheOldScore) {
  Catalogue catalogue({MakeMovie(1, {1}), MakeMovie(2, {1})});
  Recommender r(catalogue);
  r.AddRating(1, 1, 1);
  r.AddRating(1, 1, 5);
  EXPECT_EQ(r.RatingCount(), 1u);
  EXPECT_GT(r.Popularity(1), 3.0 - 1e-9);
  EXPECT_GT(r.Predict(1, {2})[0].score, 3.0);
}

TEST(RecommenderTest, ExplanationsNameTheMoviesThePredictionRestsOn) {
  // 1 and 2 are liked by the same people, 3 by the others: 2's only positive neighbour among
  // the user's movies is 1.
  Catalogue catalogue({MakeMovie(1, {6}), MakeMovie(2, {6}), MakeMovie(3, {6}), MakeMovie(4, {6}),
                       MakeMovie(10, {3}), MakeMovie(11, {4}), MakeMovie(12, {3}),
                       MakeMovie(13, {3, 4}), MakeMovie(14, {3})});
  Recommender r(catalogue);
  for (int u = 1; u <= 20; ++u) {
    bool first = u <= 10;
    r.AddRating(u, 1, first ? 5 : 1);
    r.AddRating(u, 2, first ? 5 : 1);
    r.AddRating(u, 3, first ? 1 : 5);
    r.AddRating(u, 4, 3);
  }
  r.AddRating(100, 1, 5);
  r.AddRating(100, 3, 2);
  Explanation why = r.Explain(100, 2);
  EXPECT_FALSE(why.byKind);
  ASSERT_EQ(why.movies.size(), 1u);
  EXPECT_EQ(why.movies[0].movieId, 1u);
  EXPECT_EQ(why.movies[0].score, 5);

  // Nobody else rated kinds 3 and 4: the kind preference carries the prediction, and the
  // reason is the user's movies of the candidate's kinds, strongest first.
  r.AddRating(200, 10, 5);
  r.AddRating(200, 11, 1);
  why = r.Explain(200, 12);
  EXPECT_TRUE(why.byKind);
  ASSERT_EQ(why.movies.size(), 1u);
  EXPECT_EQ(why.movies[0].movieId, 10u);
  why = r.Explain(200, 13);
  ASSERT_EQ(why.movies.size(), 2u);

  // A newcomer's prediction is popularity alone.
  EXPECT_TRUE(r.Explain(300, 2).movies.empty());

  // A dismissal pulls its kind down and becomes part of the reason.
  const double before = r.Predict(200, {14})[0].score;
  r.AddDismissal(200, 12);
  EXPECT_LT(r.Predict(200, {14})[0].score, before - 0.3);
  why = r.Explain(200, 14);
  ASSERT_EQ(why.movies.size(), 2u);
  EXPECT_TRUE((why.movies[0].movieId == 12u && why.movies[0].score == 0) ||
              (why.movies[1].movieId == 12u && why.movies[1].score == 0));
  EXPECT_EQ(r.RatingCount(), 84u);
}

TEST(RecommenderTest, BeatsPopularityOnHeldOutSyntheticRatings) {
  CatalogueOptions options;
  options.movies = 400;
  options.makeContent = false;
  Catalogue catalogue(CatalogueGenerator(options).Generate());
  SyntheticOptions synthetic;
  synthetic.users = 300;
  auto ratings = SyntheticRatings::Generate(catalogue, synthetic);
  Recommender r(catalogue);
  std::vector<RatingRecord> held;
  for (size_t i = 0; i < ratings.size(); ++i) {
    if (i % 10 == 0) {
      held.push_back(ratings[i]);
    } else {
      r.AddRating(ratings[i].userId, ratings[i].movieId, ratings[i].score);
    }
  }
  std::map<int64_t, std::vector<RatingRecord>> heldByUser;
  for (const auto& h : held) heldByUser[h.userId].push_back(h);
  double model = 0, popularity = 0;
  for (const auto& [user, list] : heldByUser) {
    std::vector<uint32_t> ids;
    for (const auto& h : list) ids.push_back(h.movieId);
    auto predictions = r.Predict(user, ids);
    for (size_t i = 0; i < list.size(); ++i) {
      double p = predictions[i].score;
      model += (p - list[i].score) * (p - list[i].score);
      double q = r.Popularity(list[i].movieId);
      popularity += (q - list[i].score) * (q - list[i].score);
    }
  }
  model = std::sqrt(model / held.size());
  popularity = std::sqrt(popularity / held.size());
  EXPECT_LT(model, popularity * 0.95) << "model " << model << " popularity " << popularity;
}

TEST(RecommenderTest, SharedSimilaritiesServeEveryRequestAlike) {
  CatalogueOptions options;
  options.movies = 200;
  options.makeContent = false;
  Catalogue catalogue(CatalogueGenerator(options).Generate());
  SyntheticOptions synthetic;
  synthetic.users = 150;
  const auto ratings = SyntheticRatings::Generate(catalogue, synthetic);
  // Few neighbours, so that many candidates have more than are taken.
  RecommenderParams exact;
  exact.neighbours = 3;
  RecommenderParams behind = exact;
  behind.similarityRefreshSeconds = 3600;
  RecommenderParams following = exact;
  following.similarityRefreshSeconds = 0.05;
  Recommender now(catalogue, exact), late(catalogue, behind), soon(catalogue, following);
  Recommender wide(catalogue);
  for (const auto& r : ratings) {
    for (Recommender* model : {&now, &late, &soon, &wide}) {
      model->AddRating(r.userId, r.movieId, r.score);
    }
  }
  late.RefreshSimilarities();
  auto unrated = [&](int64_t user) {
    std::vector<uint32_t> ids;
    for (const Movie& m : catalogue.All()) {
      if (std::none_of(ratings.begin(), ratings.end(), [&](const RatingRecord& r) {
            return r.userId == user && r.movieId == m.id;
          })) {
        ids.push_back(m.id);
      }
    }
    return ids;
  };
  auto same = [](const std::vector<Prediction>& a, const std::vector<Prediction>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (a[i].movieId != b[i].movieId || a[i].score != b[i].score) return false;
    }
    return true;
  };

  // A user's own rating and dismissal count at once, before any rebuild of the similarities.
  const int64_t user = 7;
  std::vector<uint32_t> candidates = unrated(user);
  ASSERT_GT(candidates.size(), 100u);
  const auto before = late.Predict(user, candidates);
  const uint32_t loved = candidates.back(), dismissed = candidates[candidates.size() - 2];
  candidates.resize(candidates.size() - 2);
  for (Recommender* model : {&now, &late, &soon, &wide}) {
    model->AddRating(user, loved, 5);
    model->AddDismissal(user, dismissed);
  }
  const auto after = late.Predict(user, candidates);
  EXPECT_TRUE(same(after, now.Predict(user, candidates)));
  int moved = 0;
  for (size_t i = 0; i < after.size(); ++i) moved += after[i].score != before[i].score;
  EXPECT_GT(moved, 0);

  // One candidate at a time, or all of them: the same scores, and Explain names at most the
  // neighbours taken.
  int full = 0;
  for (uint32_t id : candidates) {
    EXPECT_EQ(late.Predict(user, {id})[0].score, ScoreOf(after, id)) << id;
    Explanation why = late.Explain(user, id, 100);
    if (!why.byKind) {
      EXPECT_LE(why.movies.size(), 3u);
      full += why.movies.size() == 3u;
    }
  }
  EXPECT_GT(full, 0);
  const auto all = wide.Predict(user, candidates);
  EXPECT_FALSE(same(all, after)) << "the cut to the best neighbours made no difference";

  // Other users' ratings reach the similarities in the background.
  const int64_t other = 8;
  const std::vector<uint32_t> theirs = unrated(other);
  bool caughtUp = false;
  for (int wait = 0; wait < 200 && !caughtUp; ++wait) {
    caughtUp = same(soon.Predict(other, theirs), now.Predict(other, theirs));
    if (!caughtUp) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(caughtUp);
}

}  // namespace
}  // namespace zenu
