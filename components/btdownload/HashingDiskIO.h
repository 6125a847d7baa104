#pragma once
#include <libtorrent/disk_interface.hpp>
#include <libtorrent/hasher.hpp>
#include <libtorrent/io_context.hpp>
#include <libtorrent/settings_pack.hpp>
#include <map>
#include <memory>
#include <unordered_map>

// libtorrent's own disk I/O, except that a piece whose blocks arrive in order
// (as a web seed sends them) is hashed from the received blocks on their way
// to the disk, while they are still in the processor's cache. Its check then
// needs no read of the piece back from the file, which costs libtorrent about
// twice the hashing itself. Any other piece is checked by libtorrent as usual.
//
// Every method is called on libtorrent's network thread, as libtorrent does.
class CHashingDiskIO final : public lt::disk_interface {
 public:
  CHashingDiskIO(lt::io_context& ioc, lt::settings_interface const& settings,
                 lt::counters& counters);
  ~CHashingDiskIO() override;

  lt::storage_holder new_torrent(lt::storage_params const& params,
                                 std::shared_ptr<void> const& torrent) override;
  void remove_torrent(lt::storage_index_t storage) override;
  void async_read(lt::storage_index_t storage, lt::peer_request const& r,
                  std::function<void(lt::disk_buffer_holder, lt::storage_error const&)> handler,
                  lt::disk_job_flags_t flags) override;
  bool async_write(lt::storage_index_t storage, lt::peer_request const& r, char const* buf,
                   std::shared_ptr<lt::disk_observer> o,
                   std::function<void(lt::storage_error const&)> handler,
                   lt::disk_job_flags_t flags) override;
  void async_hash(
      lt::storage_index_t storage, lt::piece_index_t piece, lt::span<lt::sha256_hash> v2,
      lt::disk_job_flags_t flags,
      std::function<void(lt::piece_index_t, lt::sha1_hash const&, lt::storage_error const&)>
          handler) override;
  void async_hash2(
      lt::storage_index_t storage, lt::piece_index_t piece, int offset, lt::disk_job_flags_t flags,
      std::function<void(lt::piece_index_t, lt::sha256_hash const&, lt::storage_error const&)>
          handler) override;
  void async_move_storage(
      lt::storage_index_t storage, std::string p, lt::move_flags_t flags,
      std::function<void(lt::status_t, std::string const&, lt::storage_error const&)> handler)
      override;
  void async_release_files(lt::storage_index_t storage, std::function<void()> handler) override;
  void async_check_files(
      lt::storage_index_t storage, lt::add_torrent_params const* resume_data,
      lt::aux::vector<std::string, lt::file_index_t> links,
      std::function<void(lt::status_t, lt::storage_error const&)> handler) override;
  void async_stop_torrent(lt::storage_index_t storage, std::function<void()> handler) override;
  void async_rename_file(
      lt::storage_index_t storage, lt::file_index_t index, std::string name,
      std::function<void(std::string const&, lt::file_index_t, lt::storage_error const&)> handler)
      override;
  void async_delete_files(lt::storage_index_t storage, lt::remove_flags_t options,
                          std::function<void(lt::storage_error const&)> handler) override;
  void async_set_file_priority(
      lt::storage_index_t storage, lt::aux::vector<lt::download_priority_t, lt::file_index_t> prio,
      std::function<void(lt::storage_error const&,
                         lt::aux::vector<lt::download_priority_t, lt::file_index_t>)>
          handler) override;
  void async_clear_piece(lt::storage_index_t storage, lt::piece_index_t index,
                         std::function<void(lt::piece_index_t)> handler) override;
  void update_stats_counters(lt::counters& c) const override;
  std::vector<lt::open_file_state> get_status(lt::storage_index_t storage) const override;
  void abort(bool wait) override;
  void submit_jobs() override;
  void settings_updated() override;

 private:
  struct SPieceHash {
    lt::hasher sha1;
    int hashedBytes = 0;
    bool inOrder = true;
  };
  struct STorrent {
    lt::storage_holder inner;
    int pieceLength = 0;
    std::int64_t totalSize = 0;
    std::unordered_map<int, SPieceHash> pieces;  // those being received
  };

  int PieceSize(const STorrent& t, lt::piece_index_t piece) const;
  // Drops what was hashed of a piece: its data is no longer the received one.
  void Forget(lt::storage_index_t storage, lt::piece_index_t piece);

  lt::io_context& m_ioc;
  std::unique_ptr<lt::disk_interface> m_inner;
  std::map<lt::storage_index_t, STorrent> m_torrents;
};

std::unique_ptr<lt::disk_interface> HashingDiskIOConstructor(lt::io_context& ioc,
                                                             lt::settings_interface const& s,
                                                             lt::counters& c);
