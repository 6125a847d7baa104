#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Serves the movie file of the running download (its largest file) over HTTP
// on 127.0.0.1 while it downloads, so that a player can start before the end.
// Only pieces that libtorrent holds and whose bytes in the files match the
// torrent's hash are sent. A request for bytes not there yet waits, bounded,
// while libtorrent is asked for those pieces first; while any request is open
// the download goes in streaming order.
//
// Any local program may connect: the address carries a random token, and
// connections, heads and every wait are bounded.
class CStreamServer final {
 public:
  // savePath: the folder libtorrent keeps the files in. onStreaming(true) when
  // the first request opens, (false) when the last closes; called on the
  // server's threads.
  CStreamServer(lt::torrent_handle handle, std::shared_ptr<const lt::torrent_info> info,
                std::string savePath, std::function<void(bool)> onStreaming);
  // Ends open requests with an error and waits for them, as Stop() does.
  ~CStreamServer();
  CStreamServer(const CStreamServer&) = delete;
  CStreamServer& operator=(const CStreamServer&) = delete;

  // Binds an ephemeral port on 127.0.0.1 and starts answering; asks for the
  // file's first and last pieces early, where players read their indexes.
  bool Listen();
  // "http://127.0.0.1:PORT/TOKEN/NAME" once the start of the file can be
  // served, else "".
  std::string Url();
  // Open requests end with an error, the port closes; returns once every
  // thread of the server has ended.
  void Stop();

  static constexpr int kMaxConnections = 8;
  static constexpr int kHeadTimeoutMs = 5000;
  static constexpr int kHeadMaxBytes = 8192;
  static constexpr int kPieceWaitMs = 30000;
  // A reader that takes nothing for this long is let go.
  static constexpr int kSendStallMs = 60000;

 private:
  enum class EWait { kReady, kStopped, kTimedOut };
  struct SConnection {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  void AcceptLoop();
  void Serve(int fd);
  void Answer(int fd, const std::string& method, const std::string& target,
              const std::string& range);
  bool ReadHead(int fd, std::string& head);
  bool SendAll(int fd, const char* data, size_t size);
  void SendError(int fd, int status, const char* reason, const std::string& text);
  bool ReadVerifiedPiece(lt::piece_index_t piece, std::string& bytes);
  EWait WaitForPiece(lt::piece_index_t piece, std::string& bytes);
  bool TokenMatches(const std::string& target) const;
  // Deadlines on a window of pieces from `from`, after those of earlier requests
  // were dropped: the newest request is the one a player waits for.
  void Focus(lt::piece_index_t from);
  void Extend(lt::piece_index_t piece, int order);
  void StreamOpened();
  void StreamClosed();

  lt::torrent_handle m_handle;
  std::shared_ptr<const lt::torrent_info> m_info;
  std::string m_savePath;
  std::function<void(bool)> m_onStreaming;
  lt::file_index_t m_file{0};
  std::int64_t m_fileSize = 0;
  std::string m_fileName;
  lt::piece_index_t m_firstPiece{0};
  lt::piece_index_t m_lastPiece{0};
  int m_window = 4;

  std::string m_token;
  int m_listenFd = -1;
  int m_wakeFd = -1;
  int m_port = 0;
  bool m_startReady = false;

  std::atomic<bool> m_stopping{false};
  std::mutex m_mutex;
  std::condition_variable m_wake;
  int m_open = 0;  // requests being answered, under m_mutex
  std::thread m_acceptor;
  std::list<SConnection> m_connections;  // the acceptor's alone
};
