#include "GuardedHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {
using CClock = std::chrono::steady_clock;

// Runs the accept loop's hand-over at once: it only parks the socket.
class CInlineQueue final : public httplib::TaskQueue {
 public:
  void enqueue(std::function<void()> fn) override { fn(); }
  void shutdown() override {}
};

const char* ReasonOf(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 408:
      return "Request Timeout";
    case 411:
      return "Length Required";
    case 413:
      return "Payload Too Large";
    case 415:
      return "Unsupported Media Type";
    case 431:
      return "Request Header Fields Too Large";
    default:
      return "Service Unavailable";
  }
}

// Best effort: a peer that does not read gets nothing. A TLS peer is
// answered only inside its session, never in the clear.
void SendRefusal(int fd, int status, SSL* ssl = nullptr) {
  char text[160];
  const int n = std::snprintf(text, sizeof text,
                              "HTTP/1.1 %d %s\r\nConnection: close\r\nContent-Length: 0\r\n\r\n",
                              status, ReasonOf(status));
  if (n <= 0) return;
  if (ssl) {
    if (SSL_is_init_finished(ssl)) SSL_write(ssl, text, n);
    return;
  }
  [[maybe_unused]] const ssize_t sent =
      ::send(fd, text, static_cast<size_t>(n), MSG_DONTWAIT | MSG_NOSIGNAL);
}

bool WaitFor(int fd, short events, std::chrono::milliseconds timeout) {
  pollfd p{fd, events, 0};
  int rc;
  do {
    rc = ::poll(&p, 1, static_cast<int>(timeout.count()));
  } while (rc < 0 && errno == EINTR);
  return rc > 0 && (p.revents & (POLLERR | POLLNVAL)) == 0 &&
         ((p.revents & events) != 0 || (p.revents & POLLHUP) == 0);
}

void AddressOf(const sockaddr_storage& addr, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = {0};
  if (addr.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(addr);
    ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
    port = ntohs(in.sin_port);
  } else if (addr.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(addr);
    ::inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
    port = ntohs(in6.sin6_port);
  }
  ip = text;
}

// A request held in memory, answered on the socket with a bound on each write.
class CBufferedStream final : public httplib::Stream {
 public:
  CBufferedStream(int fd, SSL* ssl, const std::string& request,
                  std::chrono::milliseconds writeTimeout)
      : m_fd(fd), m_ssl(ssl), m_request(request), m_writeTimeout(writeTimeout) {}

  bool is_readable() const override { return m_pos < m_request.size(); }
  bool is_writable() const override { return !m_bFailed && WaitWritable(); }
  ssize_t read(char* ptr, size_t size) override {
    const size_t n = std::min(size, m_request.size() - m_pos);
    std::memcpy(ptr, m_request.data() + m_pos, n);
    m_pos += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char* ptr, size_t size) override {
    if (m_ssl) return WriteTls(ptr, size);
    size_t done = 0;
    while (done < size && !m_bFailed) {
      const ssize_t n = ::send(m_fd, ptr + done, size - done, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        if (!WaitWritable()) m_bFailed = true;
      } else {
        m_bFailed = true;
      }
    }
    return m_bFailed ? -1 : static_cast<ssize_t>(size);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
      AddressOf(addr, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
      AddressOf(addr, ip, port);
  }
  socket_t socket() const override { return m_fd; }
  bool Failed() const { return m_bFailed; }

 private:
  bool WaitWritable() const {
    pollfd p{m_fd, POLLOUT, 0};
    int rc;
    do {
      rc = ::poll(&p, 1, static_cast<int>(m_writeTimeout.count()));
    } while (rc < 0 && errno == EINTR);
    return rc > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
  }

  // Each wait is bounded as for plain writes; TLS may need to read to write.
  ssize_t WriteTls(const char* ptr, size_t size) {
    size_t done = 0;
    while (done < size && !m_bFailed) {
      const int chunk = static_cast<int>(std::min<size_t>(size - done, 1 << 20));
      const int n = SSL_write(m_ssl, ptr + done, chunk);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      const int why = SSL_get_error(m_ssl, n);
      if (why == SSL_ERROR_WANT_WRITE) {
        if (!WaitWritable()) m_bFailed = true;
      } else if (why == SSL_ERROR_WANT_READ) {
        if (!WaitFor(m_fd, POLLIN, m_writeTimeout)) m_bFailed = true;
      } else {
        m_bFailed = true;
      }
    }
    ERR_clear_error();
    return m_bFailed ? -1 : static_cast<ssize_t>(size);
  }

  int m_fd;
  SSL* m_ssl;
  const std::string& m_request;
  size_t m_pos = 0;
  std::chrono::milliseconds m_writeTimeout;
  bool m_bFailed = false;
};

// The local account that owns the other end of a loopback connection: one
// exact look-up of that socket in the kernel; -1 when it cannot be told.
long LoopbackPeerUid(const sockaddr_in& peer, const sockaddr_in& local) {
  const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (fd < 0) return -1;
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } query{};
  query.header.nlmsg_len = sizeof query;
  query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  query.header.nlmsg_flags = NLM_F_REQUEST;
  query.request.sdiag_family = AF_INET;
  query.request.sdiag_protocol = IPPROTO_TCP;
  query.request.idiag_states = ~0u;
  // The peer's own socket: its source is our peer, its destination is us.
  query.request.id.idiag_sport = peer.sin_port;
  query.request.id.idiag_dport = local.sin_port;
  query.request.id.idiag_src[0] = peer.sin_addr.s_addr;
  query.request.id.idiag_dst[0] = local.sin_addr.s_addr;
  query.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
  query.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  long uid = -1;
  timeval wait{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  if (::send(fd, &query, sizeof query, 0) == static_cast<ssize_t>(sizeof query)) {
    alignas(nlmsghdr) char answer[1024];
    const ssize_t n = ::recv(fd, answer, sizeof answer, 0);
    const auto* header = reinterpret_cast<const nlmsghdr*>(answer);
    if (n >= static_cast<ssize_t>(NLMSG_LENGTH(sizeof(inet_diag_msg))) &&
        NLMSG_OK(header, static_cast<unsigned>(n)) && header->nlmsg_type == SOCK_DIAG_BY_FAMILY) {
      uid = static_cast<const inet_diag_msg*>(NLMSG_DATA(header))->idiag_uid;
    }
  }
  ::close(fd);
  return uid;
}
}  // namespace

CGuardedHttpServer::CGuardedHttpServer(SServerLimits limits) : m_limits(limits) {
  new_task_queue = [this] {
    // Called as listening begins: the library's queue of five pending
    // connections would drop a burst of them.
    ::listen(svr_sock_, kListenBacklog);
    return new CInlineQueue;
  };
  // The library's default, SO_REUSEPORT, would let any process of the same
  // account listen on our port too and take a share of our connections.
  set_socket_options([](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  if (::pipe2(m_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) m_wakePipe[0] = m_wakePipe[1] = -1;
  m_poller = std::thread([this] { PollLoop(); });
  for (size_t i = 0; i < m_limits.workers; ++i) m_workers.emplace_back([this] { WorkerLoop(); });
}

CGuardedHttpServer::~CGuardedHttpServer() {
  Shutdown(std::chrono::milliseconds(0));
  if (m_poller.joinable()) m_poller.join();
  for (std::thread& t : m_workers) t.join();
  for (int fd : m_wakePipe) {
    if (fd >= 0) ::close(fd);
  }
}

std::string CGuardedHttpServer::ClientOf(int fd) {
  sockaddr_storage peer{};
  sockaddr_storage local{};
  socklen_t peerLen = sizeof peer;
  socklen_t localLen = sizeof local;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen) != 0) {
    return "?";
  }
  std::string ip;
  int port = 0;
  AddressOf(peer, ip, port);
  if (peer.ss_family == AF_INET && local.ss_family == AF_INET) {
    const auto& p4 = reinterpret_cast<const sockaddr_in&>(peer);
    // Every local account shares 127.0.0.1: tell them apart by their owner.
    if ((ntohl(p4.sin_addr.s_addr) >> 24) == 127) {
      const long uid = LoopbackPeerUid(p4, reinterpret_cast<const sockaddr_in&>(local));
      if (uid >= 0) return "uid:" + std::to_string(uid);
    }
  }
  return "ip:" + ip;
}

bool CGuardedHttpServer::process_and_close_socket(socket_t sock) {
  const int flags = ::fcntl(sock, F_GETFL);
  ::fcntl(sock, F_SETFL, flags | O_NONBLOCK);
  SConn conn;
  conn.fd = sock;
  conn.strClient = ClientOf(sock);
  if (m_tls) {
    SSL* ssl = SSL_new(m_tls.get());
    if (!ssl || SSL_set_fd(ssl, sock) != 1) {
      if (ssl) SSL_free(ssl);
      ::close(sock);
      return false;
    }
    SSL_set_accept_state(ssl);
    SSL_set_mode(ssl, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    conn.ssl.reset(ssl, SSL_free);
  }
  conn.deadline = CClock::now() + m_limits.requestDeadline;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t& mine = m_perClient[conn.strClient];
    if (!m_bStopping && m_nOpen < m_limits.maxConnections &&
        mine < m_limits.maxConnectionsPerClient) {
      ++mine;
      ++m_nOpen;
      m_parked.push_back(std::move(conn));
      Wake();
      return true;
    }
    if (mine == 0) m_perClient.erase(conn.strClient);
  }
  if (!m_tls) SendRefusal(sock, 503);
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return false;
}

ssize_t CGuardedHttpServer::ReadSome(const SConn& conn, char* data, size_t size) {
  if (!conn.ssl) return ::recv(conn.fd, data, size, 0);
  SSL* ssl = conn.ssl.get();
  size_t got = 0;
  // Decrypted bytes SSL holds wake no poll: take them all now.
  do {
    const int n =
        SSL_read(ssl, data + got, static_cast<int>(std::min<size_t>(size - got, 1 << 30)));
    if (n > 0) {
      got += static_cast<size_t>(n);
      continue;
    }
    const int why = SSL_get_error(ssl, n);
    ERR_clear_error();
    if (got > 0) break;
    if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE) {
      // The handshake's small writes go out at once; its deadline bounds the rest.
      errno = EAGAIN;
      return -1;
    }
    // A peer speaking anything but TLS, or gone: the connection ends unanswered.
    return 0;
  } while (got < size && SSL_pending(ssl) > 0);
  return static_cast<ssize_t>(got);
}

bool CGuardedHttpServer::EnableTls(const std::string& certFile, const std::string& keyFile,
                                   std::string& error) {
  std::shared_ptr<SSL_CTX> ctx(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
  auto failed = [&error](const std::string& what) {
    const unsigned long code = ERR_get_error();
    char reason[256] = {0};
    if (code) ERR_error_string_n(code, reason, sizeof reason);
    ERR_clear_error();
    error = what + (code ? std::string(": ") + reason : std::string());
    return false;
  };
  if (!ctx) return failed("no TLS context");
  SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
  if (SSL_CTX_use_certificate_chain_file(ctx.get(), certFile.c_str()) != 1)
    return failed("cannot use the certificate " + certFile);
  if (SSL_CTX_use_PrivateKey_file(ctx.get(), keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
    return failed("cannot use the key " + keyFile);
  if (SSL_CTX_check_private_key(ctx.get()) != 1)
    return failed("the key " + keyFile + " does not belong to the certificate " + certFile);
  // OpenSSL writes with write(2): a peer gone mid-answer must not end the process.
  ::signal(SIGPIPE, SIG_IGN);
  m_tls = std::move(ctx);
  return true;
}

void CGuardedHttpServer::Wake() {
  const char byte = 1;
  if (m_wakePipe[1] >= 0) {
    [[maybe_unused]] const ssize_t n = ::write(m_wakePipe[1], &byte, 1);
  }
}

void CGuardedHttpServer::Park(SConn conn) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bStopping) {
      m_parked.push_back(std::move(conn));
      Wake();
      return;
    }
  }
  Close(conn, 0);
}

void CGuardedHttpServer::Close(const SConn& conn, int status) {
  if (status) SendRefusal(conn.fd, status, conn.ssl.get());
  if (conn.ssl && SSL_is_init_finished(conn.ssl.get())) SSL_shutdown(conn.ssl.get());
  ::shutdown(conn.fd, SHUT_RDWR);
  ::close(conn.fd);
  std::lock_guard<std::mutex> lock(m_mutex);
  --m_nOpen;
  auto it = m_perClient.find(conn.strClient);
  if (it != m_perClient.end() && --it->second == 0) m_perClient.erase(it);
}

void CGuardedHttpServer::PollLoop() {
  std::vector<SConn> active;
  const size_t readCap = m_limits.request.maxHeadBytes + m_limits.request.maxBodyBytes + 1;
  std::vector<char> piece(64 * 1024);
  // Hands a connection on when what it has sent so far settles its request.
  auto settle = [&](SConn& conn) -> bool {
    const SFramedRequest framed = FrameRequest(conn.strInput, m_limits.request);
    if (framed.eState == SFramedRequest::NeedMore) return false;
    if (framed.eState == SFramedRequest::Refused) {
      Close(conn, framed.iStatus);
      return true;
    }
    SJob job;
    conn.strInput.erase(0, framed.nConsumed);
    job.conn = std::move(conn);
    job.strRequest = framed.strRequest;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_jobs.push_back(std::move(job));
    }
    m_jobReady.notify_one();
    return true;
  };
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_bStopping) break;
      for (SConn& c : m_parked) active.push_back(std::move(c));
      m_parked.clear();
    }
    // Kept connections may already hold their next request.
    for (size_t i = 0; i < active.size();) {
      if (!active[i].strInput.empty() && settle(active[i])) {
        active.erase(active.begin() + static_cast<long>(i));
      } else {
        ++i;
      }
    }
    const auto now = CClock::now();
    auto next = now + std::chrono::seconds(1);
    for (size_t i = 0; i < active.size();) {
      if (active[i].deadline <= now) {
        Close(active[i], 408);
        active.erase(active.begin() + static_cast<long>(i));
        continue;
      }
      next = std::min(next, active[i].deadline);
      ++i;
    }
    std::vector<pollfd> fds;
    fds.push_back({m_wakePipe[0], POLLIN, 0});
    for (const SConn& c : active) fds.push_back({c.fd, POLLIN, 0});
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
    const int rc = ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(wait, 1)));
    if (rc < 0) {
      // A passing failure (no memory for the poll set) must not leave the connections
      // unread: try again shortly; their deadlines still end them.
      if (errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    if (fds[0].revents & POLLIN) {
      char drain[64];
      while (::read(m_wakePipe[0], drain, sizeof drain) > 0) {
      }
    }
    std::vector<SConn> still;
    for (size_t i = 0; i < active.size(); ++i) {
      SConn& conn = active[i];
      if (fds[i + 1].revents == 0) {
        still.push_back(std::move(conn));
        continue;
      }
      const size_t room = readCap - std::min(readCap, conn.strInput.size());
      const ssize_t n = ReadSome(conn, piece.data(), std::min(room, piece.size()));
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        Close(conn, 0);
        continue;
      }
      if (n > 0) conn.strInput.append(piece.data(), static_cast<size_t>(n));
      if (!settle(conn)) {
        if (conn.strInput.size() >= readCap) {
          Close(conn, 431);
          continue;
        }
        still.push_back(std::move(conn));
      }
    }
    active = std::move(still);
  }
  for (SConn& c : active) Close(c, 0);
  std::lock_guard<std::mutex> lock(m_mutex);
  for (SConn& c : m_parked) {
    ::shutdown(c.fd, SHUT_RDWR);
    ::close(c.fd);
    --m_nOpen;
  }
  m_parked.clear();
}

void CGuardedHttpServer::WorkerLoop() {
  for (;;) {
    SJob job;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_jobReady.wait(lock, [this] { return m_bStopping || !m_jobs.empty(); });
      if (m_bStopping) {
        // Requests not yet begun are dropped with their connections.
        while (!m_jobs.empty()) {
          const int fd = m_jobs.front().conn.fd;
          ::shutdown(fd, SHUT_RDWR);
          ::close(fd);
          --m_nOpen;
          m_jobs.pop_front();
        }
        return;
      }
      job = std::move(m_jobs.front());
      m_jobs.pop_front();
      m_serving.insert(job.conn.fd);
      ++m_nBusy;
    }
    Serve(job);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_serving.erase(job.conn.fd);
      --m_nBusy;
    }
    m_workersIdle.notify_all();
  }
}

void CGuardedHttpServer::Serve(SJob& job) {
  CBufferedStream stream(job.conn.fd, job.conn.ssl.get(), job.strRequest, m_limits.writeTimeout);
  bool closeConnection = job.conn.nServed + 1 >= m_limits.maxRequestsPerConnection;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    closeConnection = closeConnection || m_bStopping;
  }
  bool closed = false;
  bool ok = false;
  try {
    ok = process_request(stream, closeConnection, closed, nullptr);
  } catch (...) {
    ok = false;
  }
  bool stopping;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    stopping = m_bStopping;
  }
  if (!ok || closed || closeConnection || stream.Failed() || stopping) {
    Close(job.conn, 0);
    return;
  }
  ++job.conn.nServed;
  job.conn.deadline = CClock::now() + m_limits.requestDeadline;
  Park(std::move(job.conn));
}

bool CGuardedHttpServer::Shutdown(std::chrono::milliseconds wait) {
  // A signal thread and the owner may both stop the server.
  std::lock_guard<std::mutex> once(m_shutdownMutex);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStopping = true;
    // Handlers writing to these fail at once; their sockets close when they return.
    for (int fd : m_serving) ::shutdown(fd, SHUT_RDWR);
  }
  Wake();
  m_jobReady.notify_all();
  stop();
  if (m_poller.joinable() && m_poller.get_id() != std::this_thread::get_id()) m_poller.join();
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_workersIdle.wait_for(lock, wait, [this] { return m_nBusy == 0; });
}
