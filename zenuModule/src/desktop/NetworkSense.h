#pragma once

// Whether the machine has a live network connection.
class INetworkSense {
 public:
  virtual ~INetworkSense() = default;
  virtual bool IsNetworkAlive() = 0;
};

// The system's sense: an interface that is up, not loopback, with an address.
INetworkSense& SystemNetworkSense();
// The sense in use: the one installed (a test's), else the system's.
INetworkSense& NetworkSense();
// nullptr goes back to the system's sense. The core never owns the object.
void SetNetworkSense(INetworkSense* sense);
