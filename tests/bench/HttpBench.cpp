// Throughput of one asynchronous engine request against curl(1) fetching the same
// 256 MiB body from the same loopback server in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/LoopbackHttpServer.h"
#include "zenuModule/src/HttpReqControl.h"
#include "zenuModule/src/IntfHttpReq.h"

namespace {
constexpr size_t kBodySize = 256u * 1024 * 1024;
constexpr int kRounds = 3;
using CClock = std::chrono::steady_clock;

double Seconds(CClock::time_point from) {
  return std::chrono::duration<double>(CClock::now() - from).count();
}

// Seconds for the engine, or a negative value on failure.
double EngineRun(const std::string& url) {
  auto* http = CIntfHttpReq::GetInstance();
  const auto start = CClock::now();
  const unsigned long id = http->HttpRequest(url, 80);
  if (id == 0) return -1;
  for (;;) {
    CString error;
    if (http->GetHttpError(id, error)) {
      std::fprintf(stderr, "engine error: %s\n", error.c_str());
      http->DelRequestInfo(id);
      return -1;
    }
    CBuffer buf;
    if (http->ReceiveHttp(id, buf)) {
      const double seconds = Seconds(start);
      return buf.GetBufSize() == kBodySize ? seconds : -1;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

double CurlRun(const std::string& url) {
  const std::string command = "curl -s -o /dev/null -w '%{size_download}' '" + url + "'";
  const auto start = CClock::now();
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  char out[64] = {0};
  const size_t n = std::fread(out, 1, sizeof out - 1, pipe);
  const int status = ::pclose(pipe);
  const double seconds = Seconds(start);
  if (status != 0 || n == 0 || std::strtoull(out, nullptr, 10) != kBodySize) return -1;
  return seconds;
}

double MiBps(double seconds) {
  return static_cast<double>(kBodySize) / (1024.0 * 1024.0) / seconds;
}
}  // namespace

int main() {
  std::vector<char> pattern(1024 * 1024);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>(i * 131 + 7);
  CLoopbackHttpServer server;
  server.Server().Get("/big.bin", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(kBodySize, "application/octet-stream",
                             [&](size_t offset, size_t length, httplib::DataSink& sink) {
                               const size_t at = offset % pattern.size();
                               const size_t n = std::min({length, pattern.size() - at});
                               return sink.write(pattern.data() + at, n);
                             });
  });
  if (!server.Start()) {
    std::fprintf(stderr, "cannot start the loopback server\n");
    return 1;
  }
  const std::string url = server.Url("/big.bin");
  std::printf("body: %zu MiB over loopback, %d rounds, best of each\n", kBodySize >> 20, kRounds);
  double bestEngine = 1e9, bestCurl = 1e9;
  for (int round = 1; round <= kRounds; ++round) {
    const double engine = EngineRun(url);
    const double curl = CurlRun(url);
    if (engine < 0 || curl < 0) {
      std::fprintf(stderr, "round %d failed (engine %.3f, curl %.3f)\n", round, engine, curl);
      return 1;
    }
    std::printf("round %d: engine %8.1f MiB/s (%.3f s)   curl %8.1f MiB/s (%.3f s)\n", round,
                MiBps(engine), engine, MiBps(curl), curl);
    bestEngine = std::min(bestEngine, engine);
    bestCurl = std::min(bestCurl, curl);
  }
  std::printf("engine %.1f MiB/s, curl -o /dev/null %.1f MiB/s, ratio engine/curl %.2f\n",
              MiBps(bestEngine), MiBps(bestCurl), bestCurl / bestEngine);
  return 0;
}
