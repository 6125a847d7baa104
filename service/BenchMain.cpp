// Measures the task request rate of the service and the push quality; prints a short report.
//
//   zenu-service-bench [--users N] [--movies N] [--requests N] [--rounds N]
//                      [--form OldUser|quick|normal] [--postgres URL]
//
// OldUser, the client's start, pushes nothing new once a user holds ten unrated pushes, as the
// bench's users soon do; quick always pushes new movies, so each of its requests ranks the
// catalogue.
//
// Each set-up (SQLite, and PostgreSQL when --postgres names a server whose user may create
// databases; one service process, then two on the same store) gets the same users, ratings
// and catalogue. Rounds of requests go to the set-ups in turn; the first round is the cold
// one, the median of the others is the warm figure.
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "SyntheticRatings.h"
#include "ZenuService.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU seconds (user and system) of this process so far.
double OwnCpu() {
  rusage use{};
  getrusage(RUSAGE_SELF, &use);
  return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
         static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

double ThreadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// CPU seconds of another process so far (fields 14 and 15 of its stat line).
double ProcessCpu(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  size_t end = line.rfind(')');
  if (end == std::string::npos) return 0;
  std::istringstream fields(line.substr(end + 2));
  std::string field;
  double ticks = 0;
  for (int n = 3; n <= 15 && fields >> field; ++n) {
    if (n >= 14) ticks += std::atof(field.c_str());
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Options final {
  int users = 1000, movies = 10000, requests = 2000, rounds = 5, clients = 8;
  std::string postgres;
  std::string form = "OldUser";
};

// A second service process on the same store: the real executable beside this one.
class SecondProcess final {
 public:
  SecondProcess(const std::string& target, const std::string& dataDir) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      const std::string exe =
          std::filesystem::read_symlink("/proc/self/exe").parent_path() / "zenu-service";
      std::vector<std::string> args = {exe, "--port", "0", "--data", dataDir};
      if (target.find("://") != std::string::npos) {
        args.push_back("--database");
        args.push_back(target);
      }
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    size_t colon = line.rfind(':');
    if (colon != std::string::npos) port_ = std::atoi(line.c_str() + colon + 1);
  }
  ~SecondProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

struct Setup final {
  std::string name;
  std::string dir;
  std::unique_ptr<zenu::ZenuService> service;
  std::unique_ptr<SecondProcess> second;
  std::vector<int> ports;
  std::vector<double> rates, p95s, cpus;
};

struct RoundResult final {
  double rate = 0, p95 = 0;
  // CPU milliseconds the service processes spent per request, however busy the machine is.
  double cpuMs = 0;
};

// Users, their ratings (a tenth held out to measure the prediction) and the catalogue.
void Fill(zenu::ZenuService& service, const Options& o, bool report) {
  auto& ctx = service.Context();
  zenu::SyntheticOptions synthetic;
  synthetic.users = o.users;
  auto ratings = zenu::SyntheticRatings::Generate(*ctx.catalogue.Get(), synthetic);
  std::map<int64_t, int64_t> ids;
  for (int u = 1; u <= o.users; ++u) {
    char name[32];
    std::snprintf(name, sizeof(name), "user%04d", u);
    ctx.store->AddUser(name, "0123456789abcdef0123456789abcdef", 172);
    ids[u] = ctx.store->FindUser(name)->id;
  }
  std::vector<zenu::RatingRecord> held, kept;
  for (size_t i = 0; i < ratings.size(); ++i) {
    ratings[i].userId = ids[ratings[i].userId];
    (i % 10 == 0 ? held : kept).push_back(ratings[i]);
  }
  auto start = Clock::now();
  for (const auto& r : kept) ctx.planner->Rate(r);
  if (!report) return;
  // The held-out figure is the model's, not that of similarities a moment behind.
  const auto built = Clock::now();
  ctx.recommender->RefreshSimilarities();
  std::printf("item similarities built in %.3f s\n", Seconds(Clock::now() - built));
  std::printf("%zu ratings stored (%zu held out) in %.2f s\n", kept.size(), held.size(),
              Seconds(Clock::now() - start));
  std::map<int64_t, std::vector<zenu::RatingRecord>> heldByUser;
  for (const auto& h : held) heldByUser[h.userId].push_back(h);
  double model = 0, popularity = 0, mean = 0, meanOnly = 0;
  for (const auto& h : held) mean += h.score;
  mean /= static_cast<double>(held.size());
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
  const double n = static_cast<double>(held.size());
  std::printf("held-out RMSE: expect_eval %.3f, popularity baseline %.3f, global mean %.3f\n",
              std::sqrt(model / n), std::sqrt(popularity / n), std::sqrt(meanOnly / n));
}

// One round: the requests spread over the set-up's processes.
RoundResult Round(const Setup& s, const Options& o, unsigned seed) {
  std::vector<double> latencies(static_cast<size_t>(o.requests));
  std::atomic<int> next{0}, failures{0};
  std::vector<std::thread> threads;
  std::vector<double> clientCpu(static_cast<size_t>(o.clients));
  const pid_t second = s.second ? s.second->Pid() : 0;
  const double cpuBefore = OwnCpu() + (second > 0 ? ProcessCpu(second) : 0);
  auto start = Clock::now();
  for (int c = 0; c < o.clients; ++c) {
    threads.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", s.ports[static_cast<size_t>(c) % s.ports.size()]);
      client.set_keep_alive(true);
      std::mt19937 rng(seed * 131 + static_cast<unsigned>(c));
      std::uniform_int_distribution<int> pick(1, o.users);
      for (int i = next++; i < o.requests; i = next++) {
        char path[96];
        std::snprintf(path, sizeof(path), "/api/v1/task?username=user%04d&form=%s", pick(rng),
                      o.form.c_str());
        auto t0 = Clock::now();
        auto res = client.Get(path);
        latencies[static_cast<size_t>(i)] = Seconds(Clock::now() - t0) * 1000;
        if (!res || res->status != 200) ++failures;
      }
      clientCpu[static_cast<size_t>(c)] = ThreadCpu();
    });
  }
  for (auto& t : threads) t.join();
  double elapsed = Seconds(Clock::now() - start);
  double cpu = OwnCpu() + (second > 0 ? ProcessCpu(second) : 0) - cpuBefore;
  for (double c : clientCpu) cpu -= c;
  std::sort(latencies.begin(), latencies.end());
  if (failures > 0) std::printf("  %s: %d failed requests\n", s.name.c_str(), failures.load());
  return {o.requests / elapsed, latencies[latencies.size() * 95 / 100], cpu * 1000 / o.requests};
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i], value = argv[i + 1];
    if (key == "--users")
      o.users = std::atoi(value.c_str());
    else if (key == "--movies")
      o.movies = std::atoi(value.c_str());
    else if (key == "--requests")
      o.requests = std::atoi(value.c_str());
    else if (key == "--rounds")
      o.rounds = std::max(2, std::atoi(value.c_str()));
    else if (key == "--form")
      o.form = value;
    else if (key == "--postgres")
      o.postgres = value;
    else {
      std::fprintf(stderr, "zenu-service-bench: unknown option %s\n", key.c_str());
      return 2;
    }
  }

  std::vector<std::pair<std::string, std::string>> stores;  // name, target ("" = SQLite)
  stores.push_back({"SQLite", ""});
  if (!o.postgres.empty()) {
    // A fresh database for this run, made through the named one.
    const std::string name = "zenu_bench_" + std::to_string(getpid());
    auto admin = zenu::SqlDatabase::Open(o.postgres, 1);
    admin->Acquire()->Exec("CREATE DATABASE " + name);
    std::string url = o.postgres.substr(0, o.postgres.rfind('/') + 1) + name;
    stores.push_back({"PostgreSQL", url});
  }

  std::vector<std::unique_ptr<Setup>> setups;
  bool first = true;
  for (const auto& [name, target] : stores) {
    char pattern[] = "/tmp/zenu-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    zenu::ServiceConfig config;
    config.port = 0;
    config.dataDir = pattern;
    config.database = target;
    config.threads = 8;
    config.catalogue.movies = o.movies;
    config.catalogue.makeContent = false;
    auto start = Clock::now();
    auto one = std::make_unique<Setup>();
    one->name = name + ", 1 process";
    one->dir = pattern;
    one->service = std::make_unique<zenu::ZenuService>(config);
    Fill(*one->service, o, first);
    first = false;
    std::printf("%s: catalogue of %d movies, %d users ready in %.2f s\n", name.c_str(), o.movies,
                o.users, Seconds(Clock::now() - start));
    one->ports.push_back(one->service->Start());
    auto two = std::make_unique<Setup>();
    two->name = name + ", 2 processes";
    two->second = std::make_unique<SecondProcess>(config.StoreTarget(), pattern);
    if (two->second->Port() == 0) {
      std::fprintf(stderr, "zenu-service-bench: the second process did not start\n");
      return 1;
    }
    two->ports = {one->ports[0], two->second->Port()};
    setups.push_back(std::move(one));
    setups.push_back(std::move(two));
  }

  std::printf(
      "task requests (form %s): %d users, %d movies, %d requests a round over %d "
      "connections, %d rounds\n",
      o.form.c_str(), o.users, o.movies, o.requests, o.clients, o.rounds);
  for (int r = 0; r < o.rounds; ++r) {
    for (auto& s : setups) {
      RoundResult result = Round(*s, o, static_cast<unsigned>(r));
      s->rates.push_back(result.rate);
      s->p95s.push_back(result.p95);
      s->cpus.push_back(result.cpuMs);
    }
  }
  // CPU: the service processes' own (PostgreSQL's server not counted), per request.
  std::printf("%-26s %12s %12s %14s %14s %14s\n", "", "cold req/s", "cold p95 ms", "median req/s",
              "median p95 ms", "median CPU ms");
  for (auto& s : setups) {
    std::vector<double> rates(s->rates.begin() + 1, s->rates.end());
    std::vector<double> p95s(s->p95s.begin() + 1, s->p95s.end());
    std::vector<double> cpus(s->cpus.begin() + 1, s->cpus.end());
    std::printf("%-26s %12.0f %12.1f %14.0f %14.1f %14.2f\n", s->name.c_str(), s->rates[0],
                s->p95s[0], Median(rates), Median(p95s), Median(cpus));
  }
  std::fflush(stdout);
  for (auto& s : setups) {
    s->second.reset();
    if (s->service) s->service->Stop();
  }
  for (auto& s : setups) {
    if (!s->dir.empty()) std::filesystem::remove_all(s->dir);
  }
  return 0;
}
