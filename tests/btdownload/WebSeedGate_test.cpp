#include "WebSeedGate.h"

#include <gtest/gtest.h>

namespace {
using namespace std::chrono_literals;
using Clock = CWebSeedGate::Clock;
constexpr std::int64_t kFloor = CWebSeedGate::kPeerFloorBytesPerSecond;

// Feeds the gate one rate a second for the given seconds; the last answer.
bool Feed(CWebSeedGate& gate, Clock::time_point& now, std::int64_t rate, int seconds) {
  bool open = gate.Open();
  for (int i = 0; i < seconds; ++i) {
    now += 1s;
    open = gate.Update(now, rate);
  }
  return open;
}
}  // namespace

TEST(WebSeedGate, PeersFirstTheWebSeedOnlyWhenTheyFailAndOutAgainWhenTheyRecover) {
  Clock::time_point now{};
  // No tracker: nobody to wait for.
  EXPECT_TRUE(CWebSeedGate(false, now).Open());

  CWebSeedGate gate(true, now);
  EXPECT_FALSE(gate.Open());
  // Fast peers keep it out for good.
  EXPECT_FALSE(Feed(gate, now, kFloor, 60));
  // Slow but delivering: out for nearly ten seconds, then in.
  EXPECT_FALSE(Feed(gate, now, kFloor / 2, 9));
  EXPECT_TRUE(Feed(gate, now, kFloor / 2, 2));
  // Recovering peers: still in for a while, out after about ten seconds.
  EXPECT_TRUE(Feed(gate, now, 2 * kFloor, 9));
  EXPECT_FALSE(Feed(gate, now, 2 * kFloor, 2));
  // A dip shorter than the window changes nothing; a fast second restarts it.
  EXPECT_FALSE(Feed(gate, now, kFloor - 1, 8));
  EXPECT_FALSE(Feed(gate, now, kFloor, 1));
  EXPECT_FALSE(Feed(gate, now, kFloor - 1, 8));
  // Every peer gone: in after a few seconds, not ten.
  EXPECT_FALSE(Feed(gate, now, kFloor, 1));
  EXPECT_FALSE(Feed(gate, now, 0, 2));
  EXPECT_TRUE(Feed(gate, now, 0, 2));

  // Peers still being reached: only the slow rule, however long the first byte takes.
  CWebSeedGate reaching(true, now);
  for (int i = 0; i < 9; ++i) EXPECT_FALSE(reaching.Update(now += 1s, 0, false, false));
  EXPECT_TRUE(reaching.Update(now += 2s, 0, false, false));

  // The trackers know nobody: no need to wait at all, unless a peer delivers.
  CWebSeedGate alone(true, now);
  EXPECT_FALSE(alone.Update(now, 1, true));
  EXPECT_TRUE(alone.Update(now, 0, true));

  // A download limited below the floor: peers that nearly fill it are enough.
  CWebSeedGate limited(true, now, 100 * 1024);
  EXPECT_FALSE(Feed(limited, now, 90 * 1024, 30));
  EXPECT_TRUE(Feed(limited, now, 50 * 1024, 11));
}
