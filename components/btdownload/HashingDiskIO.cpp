#include "HashingDiskIO.h"

#include <algorithm>
#include <boost/asio/post.hpp>
#include <libtorrent/file_storage.hpp>
#include <libtorrent/mmap_disk_io.hpp>
#include <libtorrent/peer_request.hpp>
#include <libtorrent/storage_defs.hpp>

CHashingDiskIO::CHashingDiskIO(lt::io_context& ioc, lt::settings_interface const& settings,
                               lt::counters& counters)
    : m_ioc(ioc), m_inner(lt::mmap_disk_io_constructor(ioc, settings, counters)) {}

CHashingDiskIO::~CHashingDiskIO() = default;

std::unique_ptr<lt::disk_interface> HashingDiskIOConstructor(lt::io_context& ioc,
                                                             lt::settings_interface const& s,
                                                             lt::counters& c) {
  return std::make_unique<CHashingDiskIO>(ioc, s, c);
}

lt::storage_holder CHashingDiskIO::new_torrent(lt::storage_params const& params,
                                               std::shared_ptr<void> const& torrent) {
  lt::storage_holder inner = m_inner->new_torrent(params, torrent);
  const lt::storage_index_t index = inner;
  STorrent& t = m_torrents[index];
  // The inner holder goes with the entry: dropping it removes the torrent there.
  t.inner = std::move(inner);
  t.pieceLength = params.files.piece_length();
  t.totalSize = params.files.total_size();
  return lt::storage_holder(index, *this);
}

void CHashingDiskIO::remove_torrent(lt::storage_index_t storage) { m_torrents.erase(storage); }

int CHashingDiskIO::PieceSize(const STorrent& t, lt::piece_index_t piece) const {
  const std::int64_t start = static_cast<std::int64_t>(static_cast<int>(piece)) * t.pieceLength;
  const std::int64_t left = t.totalSize - start;
  return static_cast<int>(std::max<std::int64_t>(0, std::min<std::int64_t>(t.pieceLength, left)));
}

void CHashingDiskIO::Forget(lt::storage_index_t storage, lt::piece_index_t piece) {
  auto t = m_torrents.find(storage);
  if (t != m_torrents.end()) t->second.pieces.erase(static_cast<int>(piece));
}

void CHashingDiskIO::async_read(
    lt::storage_index_t storage, lt::peer_request const& r,
    std::function<void(lt::disk_buffer_holder, lt::storage_error const&)> handler,
    lt::disk_job_flags_t flags) {
  m_inner->async_read(storage, r, std::move(handler), flags);
}

bool CHashingDiskIO::async_write(lt::storage_index_t storage, lt::peer_request const& r,
                                 char const* buf, std::shared_ptr<lt::disk_observer> o,
                                 std::function<void(lt::storage_error const&)> handler,
                                 lt::disk_job_flags_t flags) {
  auto t = m_torrents.find(storage);
  if (t != m_torrents.end() && r.length > 0) {
    SPieceHash& piece = t->second.pieces[static_cast<int>(r.piece)];
    // A block out of order, or one received twice, leaves the piece to libtorrent.
    if (piece.inOrder && r.start == piece.hashedBytes) {
      piece.sha1.update(buf, r.length);
      piece.hashedBytes += r.length;
    } else {
      piece.inOrder = false;
    }
  }
  return m_inner->async_write(storage, r, buf, std::move(o), std::move(handler), flags);
}

void CHashingDiskIO::async_hash(
    lt::storage_index_t storage, lt::piece_index_t piece, lt::span<lt::sha256_hash> v2,
    lt::disk_job_flags_t flags,
    std::function<void(lt::piece_index_t, lt::sha1_hash const&, lt::storage_error const&)>
        handler) {
  auto t = m_torrents.find(storage);
  if (t != m_torrents.end()) {
    auto p = t->second.pieces.find(static_cast<int>(piece));
    // Only a plain v1 check of a piece received whole, in order and once; a
    // piece to be written through on its check goes to libtorrent.
    if (p != t->second.pieces.end() && v2.empty() && (flags & lt::disk_interface::v1_hash) &&
        !(flags & lt::disk_interface::flush_piece) && p->second.inOrder &&
        p->second.hashedBytes == PieceSize(t->second, piece)) {
      const lt::sha1_hash digest = p->second.sha1.final();
      t->second.pieces.erase(p);
      boost::asio::post(m_ioc, [handler = std::move(handler), piece, digest] {
        handler(piece, digest, lt::storage_error());
      });
      return;
    }
    if (p != t->second.pieces.end()) t->second.pieces.erase(p);
  }
  m_inner->async_hash(storage, piece, v2, flags, std::move(handler));
}

void CHashingDiskIO::async_hash2(
    lt::storage_index_t storage, lt::piece_index_t piece, int offset, lt::disk_job_flags_t flags,
    std::function<void(lt::piece_index_t, lt::sha256_hash const&, lt::storage_error const&)>
        handler) {
  m_inner->async_hash2(storage, piece, offset, flags, std::move(handler));
}

void CHashingDiskIO::async_move_storage(
    lt::storage_index_t storage, std::string p, lt::move_flags_t flags,
    std::function<void(lt::status_t, std::string const&, lt::storage_error const&)> handler) {
  m_inner->async_move_storage(storage, std::move(p), flags, std::move(handler));
}

void CHashingDiskIO::async_release_files(lt::storage_index_t storage,
                                         std::function<void()> handler) {
  m_inner->async_release_files(storage, std::move(handler));
}

void CHashingDiskIO::async_check_files(
    lt::storage_index_t storage, lt::add_torrent_params const* resume_data,
    lt::aux::vector<std::string, lt::file_index_t> links,
    std::function<void(lt::status_t, lt::storage_error const&)> handler) {
  m_inner->async_check_files(storage, resume_data, std::move(links), std::move(handler));
}

void CHashingDiskIO::async_stop_torrent(lt::storage_index_t storage,
                                        std::function<void()> handler) {
  // Blocks received before a stop may be dropped on the way to the disk.
  auto t = m_torrents.find(storage);
  if (t != m_torrents.end()) t->second.pieces.clear();
  m_inner->async_stop_torrent(storage, std::move(handler));
}

void CHashingDiskIO::async_rename_file(
    lt::storage_index_t storage, lt::file_index_t index, std::string name,
    std::function<void(std::string const&, lt::file_index_t, lt::storage_error const&)> handler) {
  m_inner->async_rename_file(storage, index, std::move(name), std::move(handler));
}

void CHashingDiskIO::async_delete_files(lt::storage_index_t storage, lt::remove_flags_t options,
                                        std::function<void(lt::storage_error const&)> handler) {
  auto t = m_torrents.find(storage);
  if (t != m_torrents.end()) t->second.pieces.clear();
  m_inner->async_delete_files(storage, options, std::move(handler));
}

void CHashingDiskIO::async_set_file_priority(
    lt::storage_index_t storage, lt::aux::vector<lt::download_priority_t, lt::file_index_t> prio,
    std::function<void(lt::storage_error const&,
                       lt::aux::vector<lt::download_priority_t, lt::file_index_t>)>
        handler) {
  m_inner->async_set_file_priority(storage, std::move(prio), std::move(handler));
}

void CHashingDiskIO::async_clear_piece(lt::storage_index_t storage, lt::piece_index_t index,
                                       std::function<void(lt::piece_index_t)> handler) {
  Forget(storage, index);
  m_inner->async_clear_piece(storage, index, std::move(handler));
}

void CHashingDiskIO::update_stats_counters(lt::counters& c) const {
  m_inner->update_stats_counters(c);
}

std::vector<lt::open_file_state> CHashingDiskIO::get_status(lt::storage_index_t storage) const {
  return m_inner->get_status(storage);
}

void CHashingDiskIO::abort(bool wait) { m_inner->abort(wait); }

void CHashingDiskIO::submit_jobs() { m_inner->submit_jobs(); }

void CHashingDiskIO::settings_updated() { m_inner->settings_updated(); }
