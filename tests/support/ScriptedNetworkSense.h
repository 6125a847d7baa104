#pragma once
#include "zenuModule/src/desktop/NetworkSense.h"

// A network that is up or down as the test says; installed while it lives.
class CScriptedNetworkSense final : public INetworkSense {
 public:
  explicit CScriptedNetworkSense(bool alive = true) : bAlive(alive) { SetNetworkSense(this); }
  ~CScriptedNetworkSense() override { SetNetworkSense(nullptr); }
  CScriptedNetworkSense(const CScriptedNetworkSense&) = delete;
  CScriptedNetworkSense& operator=(const CScriptedNetworkSense&) = delete;
  bool IsNetworkAlive() override { return bAlive; }
  bool bAlive;
};
