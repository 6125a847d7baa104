#pragma once

// Progress of one transfer: kB received, average kB/s since the body started, total kB.
struct SHttpState {
  double dReceivedKB = 0.0;
  double dSpeedKB = 0.0;
  double dTotalKB = 0.0;
};
