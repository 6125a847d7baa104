#include "SessionSettings.h"

#include <libtorrent/alert.hpp>

lt::settings_pack BaseSettings() {
  lt::settings_pack pack;
  // The service's torrents bring their own web seed; nothing is announced to
  // the wider network.
  pack.set_bool(lt::settings_pack::enable_dht, false);
  pack.set_bool(lt::settings_pack::enable_lsd, false);
  pack.set_bool(lt::settings_pack::enable_upnp, false);
  pack.set_bool(lt::settings_pack::enable_natpmp, false);
  pack.set_str(lt::settings_pack::listen_interfaces, "0.0.0.0:0");
  pack.set_str(lt::settings_pack::user_agent, "zenu-btdownload/1.72");
  pack.set_int(lt::settings_pack::alert_mask, lt::alert_category::error |
                                                  lt::alert_category::storage |
                                                  lt::alert_category::status);
  return pack;
}
