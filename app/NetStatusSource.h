#pragma once

// The last answer of the session's network check: 1 when the network is up.
class INetStatusSource {
 public:
  virtual ~INetStatusSource() = default;
  virtual int GetNetStatus() = 0;
};
