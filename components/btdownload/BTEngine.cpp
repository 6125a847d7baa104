#include "BTEngine.h"

#include <filesystem>
#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/alert_types.hpp>
#include <libtorrent/error_code.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>
#include <memory>
#include <sstream>
#include <vector>

#include "ArgLine.h"

namespace {
lt::settings_pack BaseSettings() {
  lt::settings_pack pack;
  // The service's torrents bring their own web seed; nothing is announced to
  // the wider network.
  pack.set_bool(lt::settings_pack::enable_dht, false);
  pack.set_bool(lt::settings_pack::enable_lsd, false);
  pack.set_bool(lt::settings_pack::enable_upnp, false);
  pack.set_bool(lt::settings_pack::enable_natpmp, false);
  pack.set_str(lt::settings_pack::listen_interfaces, "0.0.0.0:0");
  pack.set_str(lt::settings_pack::user_agent, "zenu-btdownload/1.72");
  pack.set_int(lt::settings_pack::alert_mask, lt::alert_category::error |
                                                  lt::alert_category::storage |
                                                  lt::alert_category::status);
  return pack;
}

const char* StateName(lt::torrent_status::state_t state) {
  switch (state) {
    case lt::torrent_status::checking_files:
    case lt::torrent_status::checking_resume_data:
      return "checking";
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

CBTEngine::~CBTEngine() = default;

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

  lt::settings_pack ports;
  ports.set_str(lt::settings_pack::listen_interfaces, "0.0.0.0:" + std::to_string(args.minPort));
  ports.set_int(lt::settings_pack::max_retry_port_bind, args.maxPort - args.minPort);
  m_session.apply_settings(ports);

  lt::add_torrent_params params;
  params.ti = info;
  params.save_path = args.saveFolder;
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
  if (status.total_wanted <= 0) return status.is_finished ? 100 : 0;
  if (status.is_finished || status.is_seeding) return 100;
  return 100.0 * static_cast<double>(status.total_wanted_done) /
         static_cast<double>(status.total_wanted);
}

int CBTEngine::LeftTime() {
  lt::torrent_status status;
  if (!Refresh(status) || m_failed) return -1;
  const std::int64_t left = status.total_wanted - status.total_wanted_done;
  if (left <= 0) return 0;
  if (status.download_payload_rate <= 0) return -1;
  return static_cast<int>(left / status.download_payload_rate);
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

void CBTEngine::Stop() {
  if (m_handle.is_valid()) m_session.remove_torrent(m_handle);
  m_handle = lt::torrent_handle();
  m_failed = false;
  PollAlerts();
}

std::string CBTEngine::OtherRunInfo(int kind) {
  if (kind != 1) return std::string();
  lt::torrent_status status;
  if (!Refresh(status)) return m_failed ? m_lastError : std::string();
  std::ostringstream text;
  text << StateName(status.state) << ", peers " << status.num_peers << ", seeds "
       << status.num_seeds;
  if (!status.current_tracker.empty()) text << ", tracker " << status.current_tracker;
  return text.str();
}

void CBTEngine::PollAlerts() {
  std::vector<lt::alert*> alerts;
  m_session.pop_alerts(&alerts);
  for (const lt::alert* a : alerts) {
    if (!m_handle.is_valid()) continue;
    if (const auto* fe = lt::alert_cast<lt::file_error_alert>(a)) {
      if (fe->handle == m_handle) Fail("文件错误: " + fe->message());
    } else if (const auto* te = lt::alert_cast<lt::torrent_error_alert>(a)) {
      if (te->handle == m_handle) Fail("下载出错: " + te->message());
    }
  }
}
