#include "zenuModule/src/desktop/NetworkSense.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {
class CPosixNetworkSense final : public INetworkSense {
 public:
  bool IsNetworkAlive() override {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    bool alive = false;
    for (const ifaddrs* it = list; it && !alive; it = it->ifa_next) {
      if (!it->ifa_addr) continue;
      const int family = it->ifa_addr->sa_family;
      if (family != AF_INET && family != AF_INET6) continue;
      const unsigned flags = it->ifa_flags;
      // RUNNING as well as UP: a cable pulled leaves the interface up but not running.
      alive = (flags & IFF_UP) && (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK);
    }
    ::freeifaddrs(list);
    return alive;
  }
};
}  // namespace

INetworkSense& SystemNetworkSense() {
  static CPosixNetworkSense sense;
  return sense;
}
