#pragma once
#include <chrono>
#include <cstdint>

// Whether a download's web seeds take part. The web seed is the service, the
// source of last resort: peers go first, the web seeds join when no peer
// delivers or the peers together stay slow, and leave when the peers recover.
// A torrent without a tracker has no peers to wait for: its web seeds join at
// once. Fed about once a second; the clock is the caller's.
class CWebSeedGate final {
 public:
  using Clock = std::chrono::steady_clock;
  // Peers together below this for kSlowFor, and the web seeds join; peers at
  // or above it for as long, and they leave again.
  static constexpr std::int64_t kPeerFloorBytesPerSecond = 256 * 1024;
  static constexpr Clock::duration kSlowFor = std::chrono::seconds(10);
  // No byte from any peer for this long: there is nobody to wait for.
  // Counted from the first peer connected, since reaching one may take
  // longer than this on a busy machine or a slow network.
  static constexpr Clock::duration kIdleFor = std::chrono::seconds(3);

  // rateLimit: the download's own limit in bytes per second, 0 for none;
  // peers that nearly fill it are fast enough however low it is.
  CWebSeedGate(bool peersExpected, Clock::time_point now, std::int64_t rateLimit = 0);

  // peerRate: payload bytes per second from peers, web seeds left out.
  // nobodyKnown: the trackers have answered and no peer is known at all, so
  // there is nothing to wait for. anyConnected: some peer is connected.
  // True when the web seeds should take part from now on.
  bool Update(Clock::time_point now, std::int64_t peerRate, bool nobodyKnown = false,
              bool anyConnected = true);
  bool Open() const { return m_open; }

 private:
  bool m_open;
  std::int64_t m_floor;
  Clock::time_point m_slowSince;  // peers below the floor since
  Clock::time_point m_idleSince;  // no peer delivering since
  Clock::time_point m_fastSince;  // peers at or above the floor since
  bool m_everConnected = false;
};
