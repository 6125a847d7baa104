#pragma once

#include <string>
#include <vector>

#include "CatalogueGenerator.h"
#include "PushPlanner.h"

namespace zenu {

// The six keys of the update description, UTF-8 here, sent as GBK.
struct UpdateInfo final {
  int newVersion = 172;
  std::string newVersionDisplay = "Vadeko2012冬季版";
  std::string newVersionFunction = "更快的推送计算\\n好友推荐与搜索推送";
  int abandonVersion = 100;
  std::string abandonVersionDisplay = "Vadeko2010版";
  std::string updateUrl;  // empty: this service's download page
};

struct ServiceConfig final {
  std::string host = "127.0.0.1";
  int port = 8088;  // 0 picks a free port
  std::string dataDir = "zenu-data";
  std::string publicHost;  // host written into URLs; empty: the listening host
  // "http(s)://HOST[:PORT]" clients reach the service at (a reverse proxy, say); outranks
  // publicHost and the listening port in every URL written.
  std::string publicUrl;
  // PEM certificate (chain) and key: the service then speaks https only.
  std::string tlsCert;
  std::string tlsKey;
  int threads = 8;
  CatalogueOptions catalogue;
  PlannerOptions planner;
  UpdateInfo update;
  std::vector<std::string> libraries;  // folders of films served in place
  int rescanMinutes = 10;              // 0: only at start and on SIGHUP
  std::string probeTool = "auto";      // ffprobe: "auto" (PATH), a path, or "none"
  bool scanOnly = false;               // --scan: scan the libraries, report, exit
  // A PostgreSQL URL; empty: the SQLite file in the data folder.
  std::string database;
  // Announce URLs written into every torrent served; empty: web seed only.
  std::vector<std::string> trackers;
  // opentracker's whitelist file, rewritten with the info hashes of the offered movies.
  std::string trackerWhitelist;
  bool migrateOnly = false;          // --migrate: bring the store's schema up to date, exit
  std::vector<std::string> command;  // an admin command and its arguments

  // Reads "--key value" pairs; "--config FILE" loads "key = value" lines (same keys without
  // dashes, '#' comments) at the point where it appears. Throws std::invalid_argument.
  static ServiceConfig FromArguments(const std::vector<std::string>& args);
  void Set(const std::string& key, const std::string& value);
  void LoadFile(const std::string& path);
  static std::string Usage();
  // What the store opens: the database URL, or the SQLite file in the data folder.
  std::string StoreTarget() const;
  // The host written into URLs: --public-host, else the listening host, which must then be
  // one clients can reach. A loopback public host while listening beyond loopback is refused:
  // every other machine would be sent to itself. Throws std::invalid_argument.
  std::string PublicHost() const;
  // The scheme of the URLs written: --public-url's, else https with a certificate, else http.
  std::string PublicScheme() const;
  // The port --public-url names; 0 when it names none (or is not given).
  int PublicPort() const;
  bool Tls() const { return !tlsCert.empty(); }
  // Both TLS files or neither. Throws std::invalid_argument.
  void CheckTls() const;
};

}  // namespace zenu
