#include "tests/btdownload/WebSeed.h"

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/file_storage.hpp>
#include <random>
#include <stdexcept>
#include <thread>

namespace {
constexpr int kPieceBytes = 256 * 1024;
constexpr size_t kChunk = 64 * 1024;
}  // namespace

CWebSeed::CWebSeed(const std::string& folder, std::int64_t bytes, const std::string& torrentFile,
                   const std::vector<std::string>& moreSources) {
  std::mt19937_64 random(static_cast<std::uint64_t>(bytes));
  m_content.resize(static_cast<size_t>(bytes));
  for (size_t i = 0; i < m_content.size(); i += 8) {
    const std::uint64_t word = random();
    for (size_t b = 0; b < 8 && i + b < m_content.size(); ++b)
      m_content[i + b] = static_cast<char>(word >> (8 * b));
  }
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/" + m_name, std::ios::binary) << m_content;

  m_server.Server().Get("/" + m_name, [this](const httplib::Request&, httplib::Response& res) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_redirect.empty()) {
        res.set_redirect(m_redirect);
        return;
      }
    }
    res.set_content_provider(
        m_content.size(), "application/octet-stream",
        [this](size_t offset, size_t length, httplib::DataSink& sink) {
          std::unique_lock<std::mutex> lock(m_mutex);
          m_changed.wait(lock, [this] { return m_closing || m_served < m_limit; });
          if (m_closing) return false;
          const size_t n =
              std::min<size_t>({length, kChunk, static_cast<size_t>(m_limit - m_served)});
          m_served += static_cast<std::int64_t>(n);
          if (m_rate > 0) {
            const auto pause =
                std::chrono::microseconds(static_cast<std::int64_t>(n) * 1000000 / m_rate);
            lock.unlock();
            std::this_thread::sleep_for(pause);
            lock.lock();
          }
          const std::int64_t at = m_corruptAt - static_cast<std::int64_t>(offset);
          if (m_corruptTimes > 0 && at >= 0 && at < static_cast<std::int64_t>(n)) {
            --m_corruptTimes;
            lock.unlock();
            std::string bad = m_content.substr(offset, n);
            bad[static_cast<size_t>(at)] ^= 0x5a;
            return sink.write(bad.data(), n);
          }
          lock.unlock();
          return sink.write(m_content.data() + offset, n);
        });
  });
  if (!m_server.Start()) throw std::runtime_error("web seed: no port");

  lt::file_storage files;
  files.add_file(m_name, bytes);
  lt::create_torrent maker(files, kPieceBytes, lt::create_torrent::v1_only);
  maker.add_url_seed(m_server.Url("/" + m_name));
  for (const std::string& url : moreSources) {
    const bool tracker = url.size() >= 9 && url.compare(url.size() - 9, 9, "/announce") == 0;
    if (tracker) {
      maker.add_tracker(url);
    } else {
      maker.add_url_seed(url);
    }
  }
  lt::error_code ec;
  lt::set_piece_hashes(maker, folder, ec);
  if (ec) throw std::runtime_error("web seed: " + ec.message());
  std::filesystem::create_directories(std::filesystem::path(torrentFile).parent_path());
  std::ofstream out(torrentFile, std::ios::binary);
  lt::bencode(std::ostream_iterator<char>(out), maker.generate());
}

CWebSeed::~CWebSeed() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closing = true;
  }
  m_changed.notify_all();
  m_server.Stop();
}

std::int64_t CWebSeed::Served() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_served;
}

void CWebSeed::HoldAfter(std::int64_t bytes) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_limit = bytes;
  }
  m_changed.notify_all();
}

void CWebSeed::Release() { HoldAfter(INT64_MAX); }

void CWebSeed::LimitRate(std::int64_t bytesPerSecond) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_rate = bytesPerSecond;
}

void CWebSeed::Corrupt(std::int64_t offset, int times) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_corruptAt = offset;
  m_corruptTimes = times;
}

void CWebSeed::RedirectTo(const std::string& url) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_redirect = url;
}
