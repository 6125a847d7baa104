#include "WebSeedGate.h"

#include <algorithm>

CWebSeedGate::CWebSeedGate(bool peersExpected, Clock::time_point now, std::int64_t rateLimit)
    : m_open(!peersExpected),
      m_floor(rateLimit > 0 ? std::min(kPeerFloorBytesPerSecond, rateLimit * 3 / 4)
                            : kPeerFloorBytesPerSecond),
      m_slowSince(now),
      m_idleSince(now),
      m_fastSince(now) {}

bool CWebSeedGate::Update(Clock::time_point now, std::int64_t peerRate, bool nobodyKnown,
                          bool anyConnected) {
  const bool fast = peerRate >= m_floor;
  if (fast) m_slowSince = now;
  if (anyConnected) m_everConnected = true;
  if (peerRate > 0 || !m_everConnected) m_idleSince = now;
  if (!fast) m_fastSince = now;
  if (m_open) {
    if (now - m_fastSince >= kSlowFor) {
      m_open = false;
      m_slowSince = m_idleSince = now;
    }
  } else if (now - m_slowSince >= kSlowFor || now - m_idleSince >= kIdleFor ||
             (nobodyKnown && peerRate == 0)) {
    m_open = true;
    m_fastSince = now;
  }
  return m_open;
}
