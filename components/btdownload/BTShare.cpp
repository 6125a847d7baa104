#include "BTShare.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/alert_types.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>
#include <vector>

#include "ArgLine.h"
#include "PieceSpotCheck.h"
#include "ResumeFile.h"
#include "SessionSettings.h"
#include "SourcePolicy.h"
#include "TargetFolder.h"

namespace {
constexpr int kDefaultMaxShared = 10;
constexpr std::uintmax_t kMaxTorrentBytes = 16 << 20;
constexpr int kSpotCheckedPieces = 4;
constexpr int kFlushWaitMs = 8000;
constexpr int kAlertWaitMs = 3000;
// Above this libtorrent's bytes per second overflow.
constexpr int kMaxRateKB = INT_MAX / 1024;
}  // namespace

CBTShare::CBTShare()
    : m_session(lt::session_params(BaseSettings())), m_maxShared(kDefaultMaxShared) {}

CBTShare::~CBTShare() { UnshareAll(); }

bool CBTShare::Fail(const std::string& error) {
  m_lastError = error;
  return false;
}

bool CBTShare::Share(unsigned gid, const std::string& argLine) {
  PollAlerts();
  if (m_shared.count(gid) != 0) return true;
  if (SharedCount() >= m_maxShared)
    return Fail("已在分享 " + std::to_string(SharedCount()) + " 部电影，达到上限");
  SArgLine args;
  std::string error;
  if (!ParseArgLine(argLine, args, error)) return Fail(error);

  // A plain file of a torrent's size only: a pipe or a device would hold the
  // component up.
  std::error_code statError;
  lt::error_code ec;
  std::shared_ptr<lt::torrent_info> info;
  if (!std::filesystem::is_regular_file(args.torrentFile, statError)) {
    ec = lt::error_code(statError ? statError.value() : EINVAL, lt::system_category());
  } else if (std::filesystem::file_size(args.torrentFile, statError) > kMaxTorrentBytes) {
    ec = lt::error_code(EFBIG, lt::system_category());
  } else {
    info = std::make_shared<lt::torrent_info>(args.torrentFile, ec);
  }
  if (ec) return Fail("无法读取种子文件 " + args.torrentFile + ": " + ec.message());

  // Nothing is made for a movie that is not there.
  if (!std::filesystem::is_directory(std::filesystem::symlink_status(args.saveFolder, statError)))
    return Fail("电影文件不存在: " + args.saveFolder);
  std::string savePath;
  if (!PrepareTargetFolder(args.saveFolder, info->files(), savePath, error)) return Fail(error);

  // Sharing needs no web seed; trackers the policy refuses are left out.
  const CSourcePolicy policy(args.service, args.tracker);
  const std::string sources = args.service + '\n' + args.tracker;
  if (!m_sources.empty() && sources != m_sources)
    return Fail("下载源 " + args.service + " 与正在分享的电影来自不同的服务，不能同时分享");
  info->set_web_seeds({});
  const std::vector<lt::announce_entry> trackers = info->trackers();
  info->clear_trackers();
  for (const lt::announce_entry& tracker : trackers) {
    if (policy.AllowsTracker(tracker.url)) {
      info->add_tracker(tracker.url, tracker.tier);
    } else {
      return Fail("下载源 " + tracker.url + " 指向本机的其他程序，为安全起见已拒绝分享");
    }
  }

  lt::add_torrent_params params;
  params.ti = info;
  params.save_path = savePath;
  std::string why;
  if (!CResumeFile(args.torrentFile).Load(params, why))
    return Fail("电影文件不完整，不能分享: " + why);
  const bool complete = params.have_pieces.size() == info->num_pieces() &&
                        params.have_pieces.all_set() && params.unfinished_pieces.empty();
  if (!complete)
    return Fail("电影文件不完整，不能分享: " + std::to_string(params.have_pieces.count()) + " of " +
                std::to_string(info->num_pieces()) + " pieces, " +
                std::to_string(params.unfinished_pieces.size()) + " partly");
  if (!SpotCheckPieces(*info, savePath, params.have_pieces, kSpotCheckedPieces))
    return Fail("电影文件不完整，不能分享: pieces on disk differ from the resume data");
  // Never downloads, so never writes a file.
  params.flags |= lt::torrent_flags::upload_mode;
  params.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed);

  if (m_sources.empty()) {
    m_session.set_ip_filter(policy.Filter());
    m_sources = sources;
  }
  if (!m_listening && args.minPort > 0) {
    lt::settings_pack listen;
    listen.set_str(lt::settings_pack::listen_interfaces, "0.0.0.0:" + std::to_string(args.minPort));
    listen.set_int(lt::settings_pack::max_retry_port_bind, args.maxPort - args.minPort);
    m_session.apply_settings(listen);
    m_listening = true;
  }
  SShared shared;
  shared.handle = m_session.add_torrent(std::move(params), ec);
  if (ec) return Fail("无法分享 " + args.torrentFile + ": " + ec.message());
  m_shared.emplace(gid, shared);
  m_lastError.clear();
  return true;
}

void CBTShare::Close(SShared& shared) {
  // Paused first: no peer asks for a block while the files close.
  shared.handle.unset_flags(lt::torrent_flags::auto_managed);
  shared.handle.pause();
  shared.handle.flush_cache();  // closes the files, then answers
  WaitFor([&shared] { return shared.flushed; }, kFlushWaitMs);
  m_session.remove_torrent(shared.handle);
  WaitFor([&shared] { return shared.removed; }, kAlertWaitMs);
}

bool CBTShare::Unshare(unsigned gid) {
  PollAlerts();
  const auto it = m_shared.find(gid);
  if (it == m_shared.end()) return Fail("这部电影没有在分享");
  Close(it->second);
  m_shared.erase(it);
  return true;
}

void CBTShare::UnshareAll() {
  for (auto& [gid, shared] : m_shared) Close(shared);
  m_shared.clear();
}

bool CBTShare::SetUploadLimit(int kbps) {
  if (kbps < 0) return Fail("上传限速无效: " + std::to_string(kbps));
  lt::settings_pack pack;
  pack.set_int(lt::settings_pack::upload_rate_limit, kbps > kMaxRateKB ? 0 : kbps * 1024);
  m_session.apply_settings(pack);
  return true;
}

bool CBTShare::SetMaxShared(int count) {
  if (count < 0) return Fail("分享数目无效: " + std::to_string(count));
  m_maxShared = count;
  return true;
}

std::int64_t CBTShare::UploadRate() {
  PollAlerts();
  std::int64_t rate = 0;
  for (const auto& [gid, shared] : m_shared) rate += shared.handle.status({}).upload_payload_rate;
  return rate;
}

void CBTShare::Tick() {
  PollAlerts();
  for (auto it = m_shared.begin(); it != m_shared.end();) {
    const lt::torrent_status status = it->second.handle.status({});
    // A file gone or changed under it: it cannot be offered any more.
    if (status.errc) {
      m_lastError = "分享出错: " + status.errc.message();
      Close(it->second);
      it = m_shared.erase(it);
    } else {
      ++it;
    }
  }
}

bool CBTShare::WaitFor(const std::function<bool()>& done, int ms) {
  return WaitWhileAlerting(
      m_session, [this] { PollAlerts(); }, done, ms);
}

void CBTShare::PollAlerts() {
  std::vector<lt::alert*> alerts;
  m_session.pop_alerts(&alerts);
  for (const lt::alert* a : alerts) {
    const auto* ta = dynamic_cast<const lt::torrent_alert*>(a);
    if (!ta) continue;
    const bool flushed = lt::alert_cast<lt::cache_flushed_alert>(a) != nullptr;
    const bool removed = lt::alert_cast<lt::torrent_removed_alert>(a) != nullptr;
    if (!flushed && !removed) continue;
    for (auto& [gid, shared] : m_shared) {
      if (shared.handle != ta->handle) continue;
      shared.flushed = shared.flushed || flushed;
      shared.removed = shared.removed || removed;
    }
  }
}
