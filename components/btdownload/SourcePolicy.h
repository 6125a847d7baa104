#pragma once
#include <functional>
#include <libtorrent/extensions.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/socket.hpp>
#include <memory>
#include <mutex>
#include <string>

using TorrentExtension = std::function<std::shared_ptr<lt::torrent_plugin>(
    const lt::torrent_handle&, lt::client_data_t)>;

// Where a torrent may send the component: a hostile service could name, as a
// web seed or tracker, another program listening on this machine and have it
// sent requests. Allowed are http(s) URLs of any host off the machine, and
// of the machine itself only the service's own port.
class CSourcePolicy final {
 public:
  // service: "host:port" (or "[v6]:port") of the service the torrent came
  // from; empty or malformed, and no local address is allowed.
  // tracker: "host:port" of a tracker on this machine that the client
  // itself trusts (its own configuration, never the torrent).
  explicit CSourcePolicy(const std::string& service = std::string(),
                         const std::string& tracker = std::string());

  bool Allows(const std::string& url) const;
  // Trackers (http, https or udp): the same, and on this machine also the
  // trusted tracker, which listens on a port of its own.
  bool AllowsTracker(const std::string& url) const;
  // The same for where a web seed's connection actually goes, after names
  // and redirects.
  bool AllowsEndpoint(const lt::tcp::endpoint& to) const;
  // A torrent extension that stops every web seed connection the policy
  // refuses before it is made (libtorrent then ends the download with an
  // error), noting where it would have gone in refused.
  TorrentExtension Guard(std::shared_ptr<class CRefusedSources> refused) const;
  // Refuses every connection to this machine but to the service's own
  // address, whatever name or redirect led there.
  lt::ip_filter Filter() const;

 private:
  // Host and port of an http(s) URL, or of a udp one when udp is set.
  static bool SplitUrl(const std::string& url, bool udp, std::string& host, int& port);

  bool m_serviceLocal = false;
  std::string m_serviceHost;
  int m_servicePort = 0;
  std::string m_trackerHost;  // local, lowercase; empty: none trusted
  int m_trackerPort = 0;
};

// Where the guard refused to connect; written on libtorrent's thread.
class CRefusedSources final {
 public:
  void Add(const std::string& where);
  // The first refused, or empty.
  std::string First() const;

 private:
  mutable std::mutex m_mutex;
  std::string m_first;
};

// localhost, a name under it, or an address of this machine (127/8, ::1,
// the unspecified addresses) in any form the resolver takes.
bool IsLocalHost(const std::string& host);
