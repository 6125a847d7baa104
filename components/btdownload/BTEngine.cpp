#include "BTEngine.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/alert_types.hpp>
#include <libtorrent/error_code.hpp>
#include <libtorrent/torrent_status.hpp>
#include <sstream>
#include <vector>

#include "ArgLine.h"
#include "SessionSettings.h"

namespace {
// The most a download reports before it is finished and written out.
constexpr double kAlmostDone = 99.99;
// Bounds of the waits for libtorrent, well inside the client's call timeout.
constexpr int kFlushWaitMs = 8000;
constexpr int kAlertWaitMs = 3000;

const char* StateName(lt::torrent_status::state_t state) {
  switch (state) {
    case lt::torrent_status::checking_files:
      return "checking";
    case lt::torrent_status::checking_resume_data:
      return "resuming";
    case lt::torrent_status::downloading_metadata:
      return "metadata";
    case lt::torrent_status::downloading:
      return "downloading";
    case lt::torrent_status::finished:
      return "finished";
    case lt::torrent_status::seeding:
      return "seeding";
    default:
      return "unknown";
  }
}
}  // namespace

CBTEngine::CBTEngine() : m_session(lt::session_params(BaseSettings())) {}

CBTEngine::~CBTEngine() { Stop(); }

void CBTEngine::Fail(const std::string& error) {
  m_failed = true;
  m_lastError = error;
}

bool CBTEngine::Start(const std::string& argLine) {
  Stop();
  m_failed = false;
  m_lastError.clear();
  SArgLine args;
  std::string error;
  if (!ParseArgLine(argLine, args, error)) {
    Fail(error);
    return false;
  }

  lt::error_code ec;
  auto info = std::make_shared<lt::torrent_info>(args.torrentFile, ec);
  if (ec) {
    Fail("无法读取种子文件 " + args.torrentFile + ": " + ec.message());
    return false;
  }

  // libtorrent takes a backslash for a separator when it makes the folders of
  // a path, so a folder named with one would be made beside the right one.
  std::error_code made;
  std::filesystem::create_directories(args.saveFolder, made);
  if (made) {
    Fail("无法创建保存位置 " + args.saveFolder + ": " + made.message());
    return false;
  }

  lt::settings_pack run;
  run.set_str(lt::settings_pack::listen_interfaces, "0.0.0.0:" + std::to_string(args.minPort));
  run.set_int(lt::settings_pack::max_retry_port_bind, args.maxPort - args.minPort);
  m_session.apply_settings(run);

  lt::add_torrent_params params;
  params.ti = info;
  params.save_path = args.saveFolder;
  params.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed);

  m_handle = m_session.add_torrent(std::move(params), ec);
  if (ec) {
    m_handle = lt::torrent_handle();
    Fail("无法开始下载 " + args.torrentFile + ": " + ec.message());
    return false;
  }
  return true;
}

bool CBTEngine::Refresh(lt::torrent_status& status) {
  if (!m_handle.is_valid()) return false;
  status = m_handle.status();
  if (status.errc && !m_failed) {
    std::string where =
        status.error_file >= lt::file_index_t(0) ? " (" + status.save_path + ")" : std::string();
    Fail("下载出错: " + status.errc.message() + where);
  }
  return true;
}

double CBTEngine::Percent() {
  PollAlerts();
  lt::torrent_status status;
  const bool running = Refresh(status);
  if (m_failed) return -1;
  if (!running) return 0;
  if (m_complete) return 100;
  // Every piece has passed its check; the last ones may still be on their way
  // to the files.
  if (status.is_seeding) {
    const bool stale = m_flushAsked && Clock::now() - m_flushAskedAt > std::chrono::seconds(10);
    if (!m_flushAsked || stale) AskFlush();
    if (WaitFor([this] { return Flushed(); }, 2000)) {
      m_complete = true;
      return 100;
    }
  }
  if (status.total_wanted <= 0) return 0;
  return std::min(kAlmostDone, 100.0 * static_cast<double>(status.total_wanted_done) /
                                   static_cast<double>(status.total_wanted));
}

int CBTEngine::LeftTime() {
  lt::torrent_status status;
  if (!Refresh(status) || m_failed) return -1;
  const std::int64_t left = status.total_wanted - status.total_wanted_done;
  if (left <= 0) return 0;
  if (status.download_payload_rate <= 0) return -1;
  return static_cast<int>(std::min<std::int64_t>(INT_MAX, left / status.download_payload_rate));
}

int CBTEngine::PeerCount() {
  lt::torrent_status status;
  if (!Refresh(status)) return 0;
  return status.num_peers;
}

double CBTEngine::RateKB() {
  lt::torrent_status status;
  if (!Refresh(status)) return 0;
  return status.download_payload_rate / 1024.0;
}

void CBTEngine::AskFlush() {
  PollAlerts();
  m_flushBase = m_flushes;
  m_flushAsked = true;
  m_flushAskedAt = Clock::now();
  m_handle.flush_cache();
}

void CBTEngine::Stop() {
  if (m_handle.is_valid()) {
    m_handle.unset_flags(lt::torrent_flags::auto_managed);
    m_handle.pause();
    // Paused: nothing more is written once the flush is done.
    AskFlush();
    WaitFor([this] { return Flushed(); }, kFlushWaitMs);
    m_removed = false;
    m_session.remove_torrent(m_handle);
    WaitFor([this] { return m_removed; }, kAlertWaitMs);
  }
  m_handle = lt::torrent_handle();
  m_failed = false;
  m_complete = false;
  m_flushes = m_flushBase = 0;
  m_flushAsked = false;
  PollAlerts();
}

std::string CBTEngine::OtherRunInfo(int kind) {
  PollAlerts();
  if (kind != 1) return std::string();
  lt::torrent_status status;
  if (!Refresh(status)) return m_failed ? m_lastError : std::string();
  std::ostringstream text;
  text << StateName(status.state) << ", peers " << status.num_peers << ", seeds "
       << status.num_seeds;
  if (!status.current_tracker.empty()) text << ", tracker " << status.current_tracker;
  return text.str();
}

void CBTEngine::Tick() { PollAlerts(); }

bool CBTEngine::WaitFor(const std::function<bool()>& done, int ms) {
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
  PollAlerts();
  while (!done()) {
    const auto left = std::chrono::duration_cast<lt::milliseconds>(end - Clock::now());
    if (left.count() <= 0) return false;
    m_session.wait_for_alert(left);
    PollAlerts();
  }
  return true;
}

void CBTEngine::PollAlerts() {
  std::vector<lt::alert*> alerts;
  m_session.pop_alerts(&alerts);
  for (const lt::alert* a : alerts) HandleAlert(a);
}

void CBTEngine::HandleAlert(const lt::alert* a) {
  const auto* ta = dynamic_cast<const lt::torrent_alert*>(a);
  // Compared even once removed: a handle stays equal to itself.
  if (!ta || ta->handle != m_handle) return;
  if (const auto* fe = lt::alert_cast<lt::file_error_alert>(a)) {
    Fail("文件错误: " + fe->message());
  } else if (const auto* te = lt::alert_cast<lt::torrent_error_alert>(a)) {
    Fail("下载出错: " + te->message());
  } else if (lt::alert_cast<lt::cache_flushed_alert>(a)) {
    ++m_flushes;
  } else if (lt::alert_cast<lt::torrent_removed_alert>(a)) {
    m_removed = true;
  }
}
