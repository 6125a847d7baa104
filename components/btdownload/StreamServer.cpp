#include "StreamServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <libtorrent/hasher.hpp>
#include <sstream>
#include <utility>
#include <vector>

#include "StreamPlanner.h"

namespace {
using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
  return static_cast<int>(std::max<std::int64_t>(0, left.count()));
}

// Waits until fd is ready for events or the server is told to stop; false on
// a stop, a timeout or an error of the socket.
bool WaitReady(int fd, short events, int wakeFd, int ms) {
  pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
  const int n = ::poll(fds, 2, ms);
  if (n <= 0 || (fds[1].revents & POLLIN)) return false;
  return (fds[0].revents & events) != 0;
}

std::string RandomToken() {
  unsigned char bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::string();
    }
    got += static_cast<size_t>(n);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string token;
  for (const unsigned char b : bytes) {
    token += kHex[b >> 4];
    token += kHex[b & 15];
  }
  return token;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}
}  // namespace

CStreamServer::CStreamServer(lt::torrent_handle handle,
                             std::shared_ptr<const lt::torrent_info> info, std::string savePath,
                             std::function<void(bool)> onStreaming)
    : m_handle(std::move(handle)),
      m_info(std::move(info)),
      m_savePath(std::move(savePath)),
      m_onStreaming(std::move(onStreaming)) {
  const lt::file_storage& files = m_info->files();
  for (const lt::file_index_t i : files.file_range()) {
    if (!files.pad_file_at(i) && files.file_size(i) > m_fileSize) {
      m_fileSize = files.file_size(i);
      m_file = i;
    }
  }
  if (m_fileSize > 0) {
    m_fileName = std::string(files.file_name(m_file));
    m_firstPiece = files.map_file(m_file, 0, 1).piece;
    m_lastPiece = files.map_file(m_file, m_fileSize - 1, 1).piece;
  }
  m_window = WindowPieces(m_info->piece_length());
}

CStreamServer::~CStreamServer() {
  Stop();
  if (m_listenFd >= 0) ::close(m_listenFd);
  if (m_wakeFd >= 0) ::close(m_wakeFd);
}

bool CStreamServer::Listen() {
  if (m_fileSize <= 0 || m_listenFd >= 0) return false;
  m_token = RandomToken();
  if (m_token.empty()) return false;
  m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (m_wakeFd < 0 || m_listenFd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t length = sizeof addr;
  if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(m_listenFd, 16) != 0 ||
      ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    ::close(m_listenFd);
    m_listenFd = -1;
    return false;
  }
  m_port = ntohs(addr.sin_port);
  try {
    m_handle.set_piece_deadline(m_firstPiece, 0);
    m_handle.set_piece_deadline(m_lastPiece, 0);
  } catch (const std::exception&) {
  }
  m_acceptor = std::thread([this] { AcceptLoop(); });
  return true;
}

std::string CStreamServer::Url() {
  if (m_port == 0 || m_stopping) return std::string();
  if (!m_startReady) {
    std::string bytes;
    bool have = false;
    try {
      have = m_handle.have_piece(m_firstPiece);
    } catch (const std::exception&) {
    }
    m_startReady = have && ReadVerifiedPiece(m_firstPiece, bytes);
    if (!m_startReady) return std::string();
  }
  return "http://127.0.0.1:" + std::to_string(m_port) + "/" + m_token + "/" +
         PercentEncode(m_fileName);
}

void CStreamServer::Stop() {
  m_stopping = true;
  if (m_wakeFd >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
  }
  { std::lock_guard<std::mutex> lock(m_mutex); }
  m_wake.notify_all();
  if (m_acceptor.joinable()) m_acceptor.join();
}

void CStreamServer::AcceptLoop() {
  while (!m_stopping) {
    for (auto it = m_connections.begin(); it != m_connections.end();) {
      if (it->done) {
        it->thread.join();
        it = m_connections.erase(it);
      } else {
        ++it;
      }
    }
    if (!WaitReady(m_listenFd, POLLIN, m_wakeFd, 1000)) continue;
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    if (static_cast<int>(m_connections.size()) >= kMaxConnections) {
      ::close(fd);
      continue;
    }
    m_connections.emplace_back();
    SConnection& connection = m_connections.back();
    connection.thread = std::thread([this, fd, &connection] {
      Serve(fd);
      ::close(fd);
      connection.done = true;
    });
  }
  for (SConnection& connection : m_connections) connection.thread.join();
  m_connections.clear();
}

bool CStreamServer::ReadHead(int fd, std::string& head) {
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(kHeadTimeoutMs);
  char buffer[2048];
  while (head.find("\r\n\r\n") == std::string::npos) {
    if (head.size() > static_cast<size_t>(kHeadMaxBytes)) return false;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      head.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return false;
    if (!WaitReady(fd, POLLIN, m_wakeFd, MsLeft(end))) return false;
  }
  head.resize(head.find("\r\n\r\n"));
  return head.size() <= static_cast<size_t>(kHeadMaxBytes);
}

bool CStreamServer::SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    if (m_stopping) return false;
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    if (!WaitReady(fd, POLLOUT, m_wakeFd, kSendStallMs)) return false;
  }
  return true;
}

void CStreamServer::SendError(int fd, int status, const char* reason, const std::string& text) {
  std::ostringstream answer;
  answer << "HTTP/1.1 " << status << ' ' << reason << "\r\n"
         << "Content-Type: text/plain; charset=utf-8\r\n"
         << "Content-Length: " << text.size() << "\r\n";
  if (status == 416) answer << "Content-Range: bytes */" << m_fileSize << "\r\n";
  answer << "Connection: close\r\n\r\n" << text;
  const std::string bytes = answer.str();
  // Never held up by the reader: the answer fits in the socket's buffer.
  [[maybe_unused]] const ssize_t n =
      ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

bool CStreamServer::TokenMatches(const std::string& target) const {
  const std::string path = target.substr(0, target.find('?'));
  if (path.size() < m_token.size() + 1 || path[0] != '/') return false;
  if (path.size() > m_token.size() + 1 && path[m_token.size() + 1] != '/') return false;
  unsigned char differ = 0;
  for (size_t i = 0; i < m_token.size(); ++i)
    differ |= static_cast<unsigned char>(path[i + 1] ^ m_token[i]);
  return differ == 0;
}

void CStreamServer::Serve(int fd) {
  std::string head;
  if (!ReadHead(fd, head)) {
    if (!m_stopping) SendError(fd, 400, "Bad Request", "bad request\n");
    return;
  }
  std::istringstream lines(head);
  std::string line;
  std::getline(lines, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::istringstream request(line);
  std::string method;
  std::string target;
  std::string version;
  request >> method >> target >> version;
  if (target.empty() || version.compare(0, 5, "HTTP/") != 0) {
    SendError(fd, 400, "Bad Request", "bad request\n");
    return;
  }
  std::string range;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t colon = line.find(':');
    if (colon != std::string::npos && Lower(line.substr(0, colon)) == "range")
      range = line.substr(colon + 1);
  }
  if (!TokenMatches(target)) {
    SendError(fd, 404, "Not Found", "not found\n");
    return;
  }
  if (method != "GET" && method != "HEAD") {
    SendError(fd, 405, "Method Not Allowed", "only GET and HEAD\n");
    return;
  }
  StreamOpened();
  Answer(fd, method, target, range);
  StreamClosed();
}

void CStreamServer::Answer(int fd, const std::string& method, const std::string&,
                           const std::string& rangeHeader) {
  SByteRange range;
  const ERangeAnswer kind = ParseRange(rangeHeader, m_fileSize, range);
  if (kind == ERangeAnswer::kUnsatisfiable) {
    SendError(fd, 416, "Range Not Satisfiable", "range not satisfiable\n");
    return;
  }
  const lt::file_storage& files = m_info->files();
  std::string piece;
  lt::peer_request at = files.map_file(m_file, range.first, 1);
  if (method == "GET") {
    Focus(at.piece);
    const EWait waited = WaitForPiece(at.piece, piece);
    if (waited == EWait::kStopped) {
      SendError(fd, 503, "Service Unavailable", "the download has stopped\n");
      return;
    }
    if (waited == EWait::kTimedOut) {
      SendError(fd, 503, "Service Unavailable", "the bytes asked for have not arrived in time\n");
      return;
    }
  }
  std::ostringstream answer;
  const bool part = kind == ERangeAnswer::kPart;
  answer << (part ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n")
         << "Content-Type: " << VideoContentType(m_fileName) << "\r\n"
         << "Accept-Ranges: bytes\r\n"
         << "Content-Length: " << (range.last - range.first + 1) << "\r\n";
  if (part)
    answer << "Content-Range: bytes " << range.first << '-' << range.last << '/' << m_fileSize
           << "\r\n";
  answer << "Cache-Control: no-store\r\nConnection: close\r\n\r\n";
  const std::string headers = answer.str();
  if (!SendAll(fd, headers.data(), headers.size()) || method == "HEAD") return;

  std::int64_t pos = range.first;
  int order = 0;
  while (pos <= range.last) {
    at = files.map_file(m_file, pos, 1);
    if (pos != range.first) {
      Extend(lt::piece_index_t(static_cast<int>(at.piece) + m_window - 1), ++order);
      // Bytes missing mid-answer can only be told by ending the connection
      // short of its length.
      if (WaitForPiece(at.piece, piece) != EWait::kReady) return;
    }
    const std::int64_t inPiece = static_cast<std::int64_t>(piece.size()) - at.start;
    const std::int64_t count = std::min(inPiece, range.last - pos + 1);
    if (count <= 0 || !SendAll(fd, piece.data() + at.start, static_cast<size_t>(count))) return;
    pos += count;
  }
}

bool CStreamServer::ReadVerifiedPiece(lt::piece_index_t pieceIndex, std::string& bytes) {
  const lt::file_storage& files = m_info->files();
  const int size = m_info->piece_size(pieceIndex);
  bytes.assign(static_cast<size_t>(size), '\0');
  const std::int64_t pieceStart =
      static_cast<std::int64_t>(static_cast<int>(pieceIndex)) * m_info->piece_length();
  for (const lt::file_slice& slice : files.map_block(pieceIndex, 0, size)) {
    if (files.pad_file_at(slice.file_index)) continue;
    const std::string path = files.file_path(slice.file_index, m_savePath);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    std::int64_t done = 0;
    const std::int64_t into = slice.offset;
    char* out = bytes.data() + (files.file_offset(slice.file_index) + into - pieceStart);
    while (done < slice.size) {
      const ssize_t n =
          ::pread(fd, out + done, static_cast<size_t>(slice.size - done), into + done);
      if (n <= 0) break;
      done += n;
    }
    ::close(fd);
    if (done != slice.size) return false;
  }
  // A piece libtorrent holds may still be on its way to the file.
  return lt::hasher(bytes.data(), size).final() == m_info->hash_for_piece(pieceIndex);
}

CStreamServer::EWait CStreamServer::WaitForPiece(lt::piece_index_t pieceIndex, std::string& bytes) {
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(kPieceWaitMs);
  for (;;) {
    if (m_stopping) return EWait::kStopped;
    bool have = false;
    try {
      have = m_handle.have_piece(pieceIndex);
    } catch (const std::exception&) {
      return EWait::kStopped;
    }
    if (have && ReadVerifiedPiece(pieceIndex, bytes)) return EWait::kReady;
    if (Clock::now() >= end) return EWait::kTimedOut;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(50), [this] { return m_stopping.load(); });
  }
}

void CStreamServer::Focus(lt::piece_index_t from) {
  std::lock_guard<std::mutex> lock(m_mutex);
  try {
    m_handle.clear_piece_deadlines();
    const lt::piece_index_t end = std::min(lt::piece_index_t(static_cast<int>(m_lastPiece) + 1),
                                           lt::piece_index_t(static_cast<int>(from) + m_window));
    int order = 0;
    for (lt::piece_index_t p = from; p < end; ++p) m_handle.set_piece_deadline(p, 50 * order++);
    // Players read the index at either end of the file before they play.
    m_handle.set_piece_deadline(m_firstPiece, 0);
    m_handle.set_piece_deadline(m_lastPiece, 0);
    // A web seed is asked for long runs of pieces, one request after the
    // other, and a deadline waits behind them: its connection is begun again,
    // and its first request is then for the pieces wanted now.
    if (!m_handle.have_piece(from)) {
      for (const std::string& url : m_handle.url_seeds()) {
        m_handle.remove_url_seed(url);
        m_handle.add_url_seed(url);
      }
    }
  } catch (const std::exception&) {
  }
}

void CStreamServer::Extend(lt::piece_index_t piece, int order) {
  if (piece > m_lastPiece) return;
  try {
    m_handle.set_piece_deadline(piece, 50 * (m_window + order));
  } catch (const std::exception&) {
  }
}

void CStreamServer::StreamOpened() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_open++ > 0) return;
  if (m_onStreaming) m_onStreaming(true);
  try {
    m_handle.set_flags(lt::torrent_flags::sequential_download);
  } catch (const std::exception&) {
  }
}

void CStreamServer::StreamClosed() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (--m_open > 0) return;
  if (m_onStreaming) m_onStreaming(false);
  try {
    m_handle.unset_flags(lt::torrent_flags::sequential_download);
    m_handle.clear_piece_deadlines();
  } catch (const std::exception&) {
  }
}
