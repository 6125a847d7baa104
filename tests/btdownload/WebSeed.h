#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/LoopbackHttpServer.h"

// A file of random bytes served on loopback as the web seed of a torrent made
// for it. It can hold back its data after a number of bytes, so that a test
// can stop a download part of the way.
class CWebSeed final {
 public:
  // The file goes into folder, the torrent (web seed only) to torrentFile.
  // moreSources: further URLs for the torrent, trackers when they end in
  // "/announce", web seeds otherwise.
  CWebSeed(const std::string& folder, std::int64_t bytes, const std::string& torrentFile,
           const std::vector<std::string>& moreSources = {});
  ~CWebSeed();
  CWebSeed(const CWebSeed&) = delete;
  CWebSeed& operator=(const CWebSeed&) = delete;

  const std::string& Content() const { return m_content; }
  const std::string& FileName() const { return m_name; }
  int Port() const { return m_server.Port(); }
  // Every request is answered with a redirect to url instead.
  void RedirectTo(const std::string& url);
  // Bytes sent so far, over every request.
  std::int64_t Served() const;
  // Sends no more than this many bytes in all; requests wait for more.
  void HoldAfter(std::int64_t bytes);
  void Release();
  // Each answer sends at most this many bytes a second; 0 for no limit.
  void LimitRate(std::int64_t bytesPerSecond);
  // The next answers holding this byte send it altered, `times` times.
  void Corrupt(std::int64_t offset, int times);

 private:
  std::string m_name = "movie.mkv";
  std::string m_content;
  CLoopbackHttpServer m_server;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::int64_t m_served = 0;
  std::int64_t m_limit = INT64_MAX;
  std::int64_t m_rate = 0;
  bool m_closing = false;
  std::int64_t m_corruptAt = -1;
  int m_corruptTimes = 0;
  std::string m_redirect;
};
