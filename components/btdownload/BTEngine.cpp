#include "BTEngine.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/alert_types.hpp>
#include <libtorrent/error_code.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/torrent_status.hpp>
#include <set>
#include <sstream>
#include <vector>

#include "ArgLine.h"
#include "DiskRoom.h"
#include "PieceSpotCheck.h"
#include "SessionSettings.h"
#include "SourcePolicy.h"
#include "TargetFolder.h"

namespace {
// The most a download reports before it is finished and written out.
constexpr double kAlmostDone = 99.99;
constexpr auto kGuardPeriod = std::chrono::seconds(2);
constexpr auto kResumeSavePeriod = std::chrono::seconds(30);
// Bounds of the waits for libtorrent, well inside the client's call timeout.
constexpr int kFlushWaitMs = 8000;
constexpr int kAlertWaitMs = 3000;
constexpr std::uintmax_t kMaxTorrentBytes = 16 << 20;
// Bad pieces forgiven in one download before it ends with an error.
constexpr int kMaxBadPieces = 8;
// Pieces of trusted resume data read back before the start.
constexpr int kSpotCheckedPieces = 4;

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

// The user's rate limit holds for every source, the local network included
// (libtorrent would exempt local peers).
lt::ip_filter EverySourceInTheGlobalClass() {
  const std::uint32_t global = 1u << static_cast<std::uint32_t>(lt::session::global_peer_class_id);
  lt::ip_filter filter;
  filter.add_rule(lt::make_address("0.0.0.0"), lt::make_address("255.255.255.255"), global);
  filter.add_rule(lt::make_address("::"),
                  lt::make_address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"), global);
  return filter;
}
// Every tracker has answered its first announce or failed it.
bool TrackersAnswered(const lt::torrent_handle& handle) {
  bool any = false;
  for (const lt::announce_entry& tracker : handle.trackers()) {
    for (const lt::announce_endpoint& endpoint : tracker.endpoints) {
      for (const lt::announce_infohash& hash : endpoint.info_hashes) {
        if (hash.updating) return false;
        if (!hash.start_sent && hash.fails == 0) continue;  // not asked for this hash
        any = true;
      }
    }
  }
  return any;
}

std::string RefusedSourceText(const std::string& url) {
  return "下载源 " + url + " 指向本机的其他程序，为安全起见已拒绝，下载无法进行";
}
}  // namespace

CBTEngine::CBTEngine() : m_session(SessionParams()) {
  m_session.set_peer_class_filter(EverySourceInTheGlobalClass());
}

CBTEngine::~CBTEngine() { Stop(); }

void CBTEngine::Fail(const std::string& error) {
  m_stream.reset();
  m_failed = true;
  m_lastError = error;
}

bool CBTEngine::Start(const std::string& argLine) {
  Stop();
  m_failed = false;
  m_lastError.clear();
  m_startInfo.clear();
  SArgLine args;
  std::string error;
  if (!ParseArgLine(argLine, args, error)) {
    Fail(error);
    return false;
  }

  lt::error_code ec;
  std::shared_ptr<lt::torrent_info> info;
  // Read only a plain file of a torrent's size: a pipe or a device would hold
  // the component up.
  std::error_code statError;
  const bool plain = std::filesystem::is_regular_file(args.torrentFile, statError);
  if (!plain) {
    ec = lt::error_code(statError ? statError.value() : EINVAL, lt::system_category());
  } else if (std::filesystem::file_size(args.torrentFile, statError) > kMaxTorrentBytes) {
    ec = lt::error_code(EFBIG, lt::system_category());
  } else {
    info = std::make_shared<lt::torrent_info>(args.torrentFile, ec);
  }
  if (ec) {
    Fail("无法读取种子文件 " + args.torrentFile + ": " + ec.message());
    return false;
  }

  // libtorrent takes a backslash for a separator when it makes the folders of
  // a path, so a folder named with one would be made beside the right one:
  // every folder is made here, and none through a link.
  std::string savePath;
  std::string refused;
  if (!PrepareTargetFolder(args.saveFolder, info->files(), savePath, refused)) {
    Fail(refused);
    return false;
  }

  const std::int64_t missing = BytesStillMissing(info->files(), savePath);
  SDiskRoom room;
  if (missing > 0 && ProbeDiskRoom(args.saveFolder, room) &&
      room.available < missing + RoomMargin(room)) {
    Fail(NoRoomText(args.saveFolder, missing + RoomMargin(room), room.available));
    return false;
  }

  // Sources that would aim at other programs of this machine are dropped.
  m_policy = CSourcePolicy(args.service, args.tracker);
  m_session.set_ip_filter(m_policy.Filter());
  std::string refusedSource;
  std::vector<lt::web_seed_entry> seeds;
  for (const lt::web_seed_entry& seed : info->web_seeds()) {
    if (m_policy.Allows(seed.url)) {
      seeds.push_back(seed);
    } else if (refusedSource.empty()) {
      refusedSource = seed.url;
    }
  }
  const std::vector<lt::announce_entry> trackers = info->trackers();
  info->clear_trackers();
  for (const lt::announce_entry& tracker : trackers) {
    if (m_policy.AllowsTracker(tracker.url)) {
      info->add_tracker(tracker.url, tracker.tier);
    } else if (refusedSource.empty()) {
      refusedSource = tracker.url;
    }
  }
  if (!refusedSource.empty() && seeds.empty() && info->trackers().empty()) {
    Fail(RefusedSourceText(refusedSource));
    return false;
  }
  // The web seeds join the download through the gate, at once only when no
  // tracker could bring peers.
  std::vector<std::string> webSeeds;
  for (const lt::web_seed_entry& seed : seeds)
    if (seed.type == lt::web_seed_entry::url_seed) webSeeds.push_back(seed.url);
  CWebSeedGate gate(!info->trackers().empty(), CWebSeedGate::Clock::now(),
                    std::int64_t{args.rateLimitKB} * 1024);
  info->set_web_seeds({});

  lt::settings_pack run;
  run.set_str(lt::settings_pack::listen_interfaces, "0.0.0.0:" + std::to_string(args.minPort));
  run.set_int(lt::settings_pack::max_retry_port_bind, args.maxPort - args.minPort);
  run.set_int(lt::settings_pack::download_rate_limit, args.rateLimitKB * 1024);
  // libtorrent hands out a limited rate in bursts, one per tick at most: short
  // ticks keep a limited download close to its limit.
  run.set_int(lt::settings_pack::tick_interval, args.rateLimitKB > 0 ? 100 : 500);
  m_session.apply_settings(run);

  lt::add_torrent_params params;
  params.ti = info;
  params.save_path = savePath;
  params.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed);
  if (gate.Open()) params.url_seeds = webSeeds;
  m_refused = std::make_shared<CRefusedSources>();
  params.extensions.push_back(m_policy.Guard(m_refused));
  auto resume = std::make_unique<CResumeFile>(args.torrentFile);
  std::string why;
  m_startInfo = resume->Load(params, why) ? "resumed" : "checked: " + why;
  if (why.empty() && !SpotCheckPieces(*info, savePath, params.have_pieces, kSpotCheckedPieces)) {
    // Pieces claimed that are not on disk: the data is forged or stale, and
    // every piece is checked from the files instead.
    params.have_pieces = lt::typed_bitfield<lt::piece_index_t>();
    params.unfinished_pieces.clear();
    m_startInfo = "checked: pieces on disk differ from the resume data";
  }

  m_handle = m_session.add_torrent(std::move(params), ec);
  if (ec) {
    m_handle = lt::torrent_handle();
    Fail("无法开始下载 " + args.torrentFile + ": " + ec.message());
    return false;
  }
  m_info = info;
  m_webSeeds = std::move(webSeeds);
  m_gate = gate;
  m_resume = std::move(resume);
  m_stream = std::make_unique<CStreamServer>(m_handle, m_info, savePath, [this](bool on) {
    m_session.apply_settings(StreamingSettings(on));
  });
  if (!m_stream->Listen()) m_stream.reset();
  m_saveFolder = savePath;
  m_shownFolder = args.saveFolder;
  m_nextGuard = Clock::now() + kGuardPeriod;
  m_nextResumeSave = Clock::now() + kResumeSavePeriod;
  return true;
}

bool CBTEngine::Refresh(lt::torrent_status& status) {
  if (!m_handle.is_valid()) return false;
  status = m_handle.status();
  if (status.errc && !m_failed && m_refused && !m_refused->First().empty()) {
    Fail(RefusedSourceText("http://" + m_refused->First()));
  } else if (status.errc && !m_failed) {
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
    // Only a flush asked for after the last piece passed will do.
    const bool stale =
        m_finishFlushAsked && Clock::now() - m_flushAskedAt > std::chrono::seconds(10);
    if (!m_finishFlushAsked || stale) {
      AskFlush();
      m_finishFlushAsked = true;
    }
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
  m_flushAskedAt = Clock::now();
  m_handle.flush_cache();
}

std::unique_ptr<lt::add_torrent_params> CBTEngine::FetchResumeData() {
  // Answers come in the order asked; one to an earlier request that timed out
  // would describe fewer pieces than are on disk now.
  const int asked = ++m_resumeAsks;
  m_handle.save_resume_data();
  if (!WaitFor([this, asked] { return m_resumeAnswers >= asked; }, kAlertWaitMs)) return nullptr;
  return std::move(m_resumeData);
}

bool CBTEngine::ResumeDataWorthKeeping(const lt::torrent_status& status) const {
  // After a failed write a piece may count as passed that never reached the disk.
  return m_info && !m_fileError && !status.errc && status.has_metadata &&
         status.state != lt::torrent_status::checking_files &&
         status.state != lt::torrent_status::checking_resume_data;
}

void CBTEngine::Stop() {
  m_stream.reset();
  if (m_handle.is_valid()) {
    Halt();
    const lt::torrent_status status = m_handle.status();
    std::unique_ptr<lt::add_torrent_params> resume;
    // Paused: nothing is written after the flush, so the stamps taken below hold.
    AskFlush();
    if (WaitFor([this] { return Flushed(); }, kFlushWaitMs) && ResumeDataWorthKeeping(status))
      resume = FetchResumeData();
    m_removed = false;
    m_session.remove_torrent(m_handle);
    WaitFor([this] { return m_removed; }, kAlertWaitMs);
    if (resume) {
      m_resume->Save(std::move(*resume), *m_info, m_saveFolder);
    } else if (m_fileError) {
      m_resume->Remove();
    }
  }
  m_handle = lt::torrent_handle();
  m_info.reset();
  m_resume.reset();
  m_failed = false;
  m_fileError = false;
  m_complete = false;
  m_flushes = m_flushBase = 0;
  m_resumeAsks = m_resumeAnswers = 0;
  m_resumeData.reset();
  m_finishFlushAsked = false;
  m_badPieces = 0;
  m_sawBadPiece = false;
  m_webSeeds.clear();
  m_gate.reset();
  PollAlerts();
}

std::string CBTEngine::OtherRunInfo(int kind) {
  PollAlerts();
  if (kind == 2) return m_startInfo;
  if (kind == 3) return m_stream && !m_failed ? m_stream->Url() : std::string();
  if (kind != 1) return std::string();
  lt::torrent_status status;
  if (!Refresh(status)) return m_failed ? m_lastError : std::string();
  std::ostringstream text;
  text << StateName(status.state) << ", peers " << status.num_peers << ", seeds "
       << status.num_seeds;
  if (!status.current_tracker.empty()) text << ", tracker " << status.current_tracker;
  if (!m_webSeeds.empty() && m_gate)
    text << (m_gate->Open() ? ", web seed in" : ", web seed standing by");
  return text.str();
}

void CBTEngine::Halt() {
  // Not auto-managed, or libtorrent would start it again by itself.
  m_handle.unset_flags(lt::torrent_flags::auto_managed);
  m_handle.pause();
}

void CBTEngine::OnBadPiece() {
  if (m_failed) return;
  m_sawBadPiece = true;
  // With peers connected the piece may be theirs: libtorrent bans a peer that
  // sends bad data, and a crowd of them must not end the download.
  std::vector<lt::peer_info> peers;
  m_handle.get_peer_info(peers);
  const bool peerSources = std::any_of(peers.begin(), peers.end(), [](const lt::peer_info& p) {
    return p.connection_type == lt::peer_info::standard_bittorrent;
  });
  if (peerSources || ++m_badPieces <= kMaxBadPieces) {
    RestoreWebSeeds();
    return;
  }
  Halt();
  const std::string source = !m_webSeeds.empty() ? m_webSeeds.front() : "下载源";
  Fail(source + " 一再发送损坏的数据，下载已停止");
}

void CBTEngine::RestoreWebSeeds() {
  // libtorrent drops a web seed after one bad piece; with no other source the
  // download would wait for ever, without a word, behind a flaky proxy. The
  // seed leaves a moment after the alert, so this is tried again every tick.
  if (m_failed || !m_sawBadPiece || !m_handle.is_valid() || !m_gate || !m_gate->Open()) return;
  AddWebSeeds();
}

void CBTEngine::AddWebSeeds() {
  const std::set<std::string> present = m_handle.url_seeds();
  for (const std::string& url : m_webSeeds)
    if (present.count(url) == 0) m_handle.add_url_seed(url);
}

void CBTEngine::GateWebSeeds() {
  if (!m_gate || m_webSeeds.empty() || m_complete) return;
  const lt::torrent_status status = m_handle.status({});
  if (status.is_seeding) return;
  std::vector<lt::peer_info> peers;
  m_handle.get_peer_info(peers);
  std::int64_t peerRate = 0;
  bool anyConnected = false;
  for (const lt::peer_info& peer : peers) {
    if (peer.connection_type != lt::peer_info::standard_bittorrent) continue;
    peerRate += peer.payload_down_speed;
    anyConnected = true;
  }
  const bool wasOpen = m_gate->Open();
  const bool nobodyKnown = !wasOpen && status.list_peers == 0 && TrackersAnswered(m_handle);
  if (m_gate->Update(CWebSeedGate::Clock::now(), peerRate, nobodyKnown, anyConnected) == wasOpen)
    return;
  if (wasOpen) {
    // Redirects among them too.
    for (const std::string& url : m_handle.url_seeds()) m_handle.remove_url_seed(url);
  } else {
    AddWebSeeds();
  }
}

void CBTEngine::DropRefusedWebSeeds() {
  // A redirect becomes a web seed of its own.
  std::string refused;
  size_t left = 0;
  for (const std::string& url : m_handle.url_seeds()) {
    if (m_policy.Allows(url)) {
      ++left;
    } else {
      m_handle.remove_url_seed(url);
      refused = url;
    }
  }
  // Nothing else to fetch from: an error rather than a download that waits for ever.
  if (!refused.empty() && left == 0 && m_handle.trackers().empty()) {
    Halt();
    Fail(RefusedSourceText(refused));
  }
}

bool CBTEngine::GuardRoom() {
  if (m_complete || m_failed) return !m_failed;
  const std::int64_t missing = BytesStillMissing(m_info->files(), m_saveFolder);
  SDiskRoom room;
  if (missing <= 0 || !ProbeDiskRoom(m_saveFolder, room)) return true;
  const std::int64_t needed = missing + RoomMargin(room);
  if (room.available >= needed) return true;
  Halt();
  Fail(NoRoomText(m_shownFolder, needed, room.available));
  return false;
}

void CBTEngine::SaveResumeWhileRunning() {
  const lt::torrent_status status = m_handle.status(lt::torrent_handle::query_pieces);
  if (m_complete || m_failed || !ResumeDataWorthKeeping(status)) return;
  // Pieces that passed before the flush was asked for are surely in the files;
  // later ones may not be yet.
  AskFlush();
  if (!WaitFor([this] { return Flushed(); }, kFlushWaitMs)) return;
  std::unique_ptr<lt::add_torrent_params> resume = FetchResumeData();
  if (!resume) return;
  for (lt::piece_index_t i(0); i < resume->have_pieces.end_index(); ++i) {
    if (i >= status.pieces.end_index() || !status.pieces[i]) resume->have_pieces.clear_bit(i);
  }
  resume->unfinished_pieces.clear();
  m_resume->Save(std::move(*resume), *m_info, m_saveFolder);
}

void CBTEngine::Tick() {
  PollAlerts();
  if (!m_handle.is_valid() || m_failed) return;
  const Clock::time_point now = Clock::now();
  if (now >= m_nextGuard) {
    m_nextGuard = now + kGuardPeriod;
    if (!GuardRoom()) return;
  }
  GateWebSeeds();
  DropRefusedWebSeeds();
  RestoreWebSeeds();
  if (now >= m_nextResumeSave) {
    m_nextResumeSave = now + kResumeSavePeriod;
    SaveResumeWhileRunning();
  }
}

bool CBTEngine::WaitFor(const std::function<bool()>& done, int ms) {
  return WaitWhileAlerting(
      m_session, [this] { PollAlerts(); }, done, ms);
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
    m_fileError = true;
    if (GuardRoom()) Fail("文件错误: " + fe->message());
  } else if (const auto* te = lt::alert_cast<lt::torrent_error_alert>(a)) {
    const std::string refused = m_refused ? m_refused->First() : std::string();
    Fail(refused.empty() ? "下载出错: " + te->message() : RefusedSourceText("http://" + refused));
  } else if (lt::alert_cast<lt::cache_flushed_alert>(a)) {
    ++m_flushes;
  } else if (const auto* rd = lt::alert_cast<lt::save_resume_data_alert>(a)) {
    ++m_resumeAnswers;
    m_resumeData = std::make_unique<lt::add_torrent_params>(rd->params);
  } else if (lt::alert_cast<lt::save_resume_data_failed_alert>(a)) {
    ++m_resumeAnswers;
    m_resumeData.reset();
  } else if (lt::alert_cast<lt::torrent_removed_alert>(a)) {
    m_removed = true;
  } else if (lt::alert_cast<lt::hash_failed_alert>(a)) {
    OnBadPiece();
  } else if (const auto* fr = lt::alert_cast<lt::fastresume_rejected_alert>(a)) {
    m_startInfo = "checked: resume data rejected (" + fr->error.message() + ")";
  }
}
