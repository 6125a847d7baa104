#pragma once
#include "zenuModule/src/Types.h"

// The listening port range handed to the BitTorrent component: the configured
// port while it is free, otherwise a free one that is then remembered.
class CPortSelect final {
 public:
  int LoadPort();
  void SavePort(int port);
  // type 1 = TCP; 0 when no port could be bound.
  int GetListenPort(int type);
};
