#pragma once
#include <libtorrent/settings_pack.hpp>

// The session's settings for a desktop downloading one torrent at a time.
lt::settings_pack BaseSettings();
