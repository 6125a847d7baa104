// Measures the task request rate and the push quality; prints a short report.
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "SyntheticRatings.h"
#include "ZenuService.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  int users = 1000, movies = 10000, requests = 4000, clients = 8;
  if (argc > 1) users = std::atoi(argv[1]);
  if (argc > 2) movies = std::atoi(argv[2]);
  if (argc > 3) requests = std::atoi(argv[3]);
  char pattern[] = "/tmp/zenu-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string dir = pattern;

  zenu::ServiceConfig config;
  config.port = 0;
  config.dataDir = dir;
  config.threads = 8;
  config.catalogue.movies = movies;
  config.catalogue.makeContent = false;
  auto start = Clock::now();
  zenu::ZenuService service(config);
  std::printf("catalogue of %d movies created in %.2f s\n", movies, Seconds(Clock::now() - start));

  auto& ctx = service.Context();
  zenu::SyntheticOptions synthetic;
  synthetic.users = users;
  auto ratings = zenu::SyntheticRatings::Generate(*ctx.catalogue.Get(), synthetic);
  std::map<int64_t, int64_t> ids;
  for (int u = 1; u <= users; ++u) {
    char name[32];
    std::snprintf(name, sizeof(name), "user%04d", u);
    ctx.store->AddUser(name, "0123456789abcdef0123456789abcdef", 172);
    ids[u] = ctx.store->FindUser(name)->id;
  }
  std::vector<zenu::RatingRecord> held;
  start = Clock::now();
  for (size_t i = 0; i < ratings.size(); ++i) {
    ratings[i].userId = ids[ratings[i].userId];
    if (i % 10 == 0) {
      held.push_back(ratings[i]);
    } else {
      ctx.planner->Rate(ratings[i]);
    }
  }
  std::printf("%zu ratings loaded (%zu held out) in %.2f s\n", ratings.size() - held.size(),
              held.size(), Seconds(Clock::now() - start));

  std::map<int64_t, std::vector<zenu::RatingRecord>> heldByUser;
  for (const auto& h : held) heldByUser[h.userId].push_back(h);
  double model = 0, popularity = 0, mean = 0;
  for (const auto& h : held) mean += h.score;
  mean /= held.size();
  double meanOnly = 0;
  for (const auto& [user, list] : heldByUser) {
    std::vector<uint32_t> movieIds;
    for (const auto& h : list) movieIds.push_back(h.movieId);
    auto predictions = ctx.recommender->Predict(user, movieIds);
    for (size_t i = 0; i < list.size(); ++i) {
      double p = std::round(predictions[i].score * 100) / 100;  // as sent in expect_eval
      model += (p - list[i].score) * (p - list[i].score);
      double q = ctx.recommender->Popularity(list[i].movieId);
      popularity += (q - list[i].score) * (q - list[i].score);
      meanOnly += (mean - list[i].score) * (mean - list[i].score);
    }
  }
  std::printf("held-out RMSE: expect_eval %.3f, popularity baseline %.3f, global mean %.3f\n",
              std::sqrt(model / held.size()), std::sqrt(popularity / held.size()),
              std::sqrt(meanOnly / held.size()));

  int port = service.Start();
  std::vector<double> latencies(static_cast<size_t>(requests));
  std::atomic<int> next{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  start = Clock::now();
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", port);
      client.set_keep_alive(true);
      std::mt19937 rng(static_cast<unsigned>(c));
      std::uniform_int_distribution<int> pick(1, users);
      for (int i = next++; i < requests; i = next++) {
        char path[96];
        std::snprintf(path, sizeof(path), "/api/v1/task?username=user%04d&form=OldUser", pick(rng));
        auto t0 = Clock::now();
        auto res = client.Get(path);
        latencies[static_cast<size_t>(i)] = Seconds(Clock::now() - t0) * 1000;
        if (!res || res->status != 200) ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  double elapsed = Seconds(Clock::now() - start);
  std::sort(latencies.begin(), latencies.end());
  std::printf("task requests: %d users, %d movies, %d requests over %d connections\n", users,
              movies, requests, clients);
  std::printf("  %.0f requests/s, median %.2f ms, p95 %.2f ms, failures %d\n", requests / elapsed,
              latencies[latencies.size() / 2], latencies[latencies.size() * 95 / 100],
              failures.load());
  service.Stop();
  std::filesystem::remove_all(dir);
  return failures.load() == 0 ? 0 : 1;
}
