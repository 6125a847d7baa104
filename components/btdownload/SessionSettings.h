#pragma once
#include <libtorrent/session_params.hpp>
#include <libtorrent/settings_pack.hpp>

// The session's settings for a desktop downloading one torrent at a time.
lt::settings_pack BaseSettings();
// Those settings, with the disk I/O that hashes in-order pieces on their way in.
lt::session_params SessionParams();
