#include "SessionSettings.h"

#include <algorithm>
#include <chrono>
#include <libtorrent/alert.hpp>
#include <thread>

#include "HashingDiskIO.h"

namespace {
constexpr int kLargeWebSeedRequest = 64 << 20;
constexpr int kDefaultWebSeedPipeline = 5;
}  // namespace

lt::settings_pack BaseSettings() {
  lt::settings_pack pack;
  // The service's torrents bring their own web seed and tracker; clients also
  // find each other on their LAN. The public DHT would publish a private
  // service's films to the world, so it stays off.
  pack.set_bool(lt::settings_pack::enable_dht, false);
  pack.set_bool(lt::settings_pack::enable_lsd, true);
  pack.set_bool(lt::settings_pack::enable_upnp, false);
  pack.set_bool(lt::settings_pack::enable_natpmp, false);
  pack.set_str(lt::settings_pack::listen_interfaces, "0.0.0.0:0");
  pack.set_str(lt::settings_pack::user_agent, "zenu-btdownload/1.72");
  pack.set_int(lt::settings_pack::alert_mask, lt::alert_category::error |
                                                  lt::alert_category::storage |
                                                  lt::alert_category::status);

  // One torrent at a time: checking its pieces is worth every core.
  pack.set_int(lt::settings_pack::hashing_threads,
               static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
  // Large web-seed requests, with room to take them in and to queue their
  // writes, instead of stopping the socket at every megabyte.
  pack.set_int(lt::settings_pack::urlseed_max_request_bytes, kLargeWebSeedRequest);
  pack.set_int(lt::settings_pack::max_http_recv_buffer_size, 8 << 20);
  pack.set_int(lt::settings_pack::max_peer_recv_buffer_size, 8 << 20);
  pack.set_int(lt::settings_pack::max_queued_disk_bytes, 64 << 20);
  // A web server that drops a connection (some lose pipelined requests) is
  // asked again after 2 seconds rather than 30.
  pack.set_int(lt::settings_pack::urlseed_wait_retry, 2);
  // libtorrent would dial every peer over uTP first, which on the local
  // network and the loopback is many times slower than TCP, and it cannot be
  // told per peer. Peers that dial us over uTP are still welcome.
  pack.set_bool(lt::settings_pack::enable_outgoing_utp, false);
  // An https web seed or tracker must show a certificate for its name that
  // the system's store (OpenSSL's default paths: SSL_CERT_FILE, SSL_CERT_DIR)
  // vouches for, as the client's own requests to the service do.
  pack.set_bool(lt::settings_pack::validate_https_trackers, true);
  // Clients of one office behind one address are peers of their own.
  pack.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
  return pack;
}

lt::session_params SessionParams() {
  lt::session_params params(BaseSettings());
  params.disk_io_constructor = HashingDiskIOConstructor;
  return params;
}

lt::settings_pack StreamingSettings(bool streaming) {
  lt::settings_pack pack;
  pack.set_int(lt::settings_pack::urlseed_max_request_bytes,
               streaming ? 1 << 20 : kLargeWebSeedRequest);
  pack.set_int(lt::settings_pack::urlseed_pipeline_size, streaming ? 2 : kDefaultWebSeedPipeline);
  return pack;
}

bool WaitWhileAlerting(lt::session& session, const std::function<void()>& poll,
                       const std::function<bool()>& done, int ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
  poll();
  while (!done()) {
    const auto left = std::chrono::duration_cast<lt::milliseconds>(end - Clock::now());
    if (left.count() <= 0) return false;
    session.wait_for_alert(left);
    poll();
  }
  return true;
}
