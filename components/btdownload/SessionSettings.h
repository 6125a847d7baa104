#pragma once
#include <functional>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/settings_pack.hpp>

// The session's settings for a desktop downloading one torrent at a time.
lt::settings_pack BaseSettings();
// Those settings, with the disk I/O that hashes in-order pieces on their way in.
lt::session_params SessionParams();
// While a player reads the stream: short web seed requests, few at a time,
// so that a seek's pieces do not wait behind a long run of others; off, the
// large requests of BaseSettings() again.
lt::settings_pack StreamingSettings(bool streaming);

// Calls poll() for the alerts waiting, then waits for more until done() or ms
// have passed; done()'s last answer.
bool WaitWhileAlerting(lt::session& session, const std::function<void()>& poll,
                       const std::function<bool()>& done, int ms);
