#pragma once
// A throw-away PostgreSQL cluster made with Debian's server binaries in a temporary
// folder, on a free loopback port, removed with the object. Run as the postgres account
// when the tests run as root (the server refuses to run as root).
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace zenu::test {

class PgCluster final {
 public:
  PgCluster() {
    bin_ = FindBin();
    if (bin_.empty()) {
      why_ = "PostgreSQL's server binaries are not installed";
      return;
    }
    char pattern[] = "/tmp/zenu-pg-XXXXXX";
    if (!mkdtemp(pattern)) return;
    dir_ = pattern;
    if (geteuid() == 0) {
      passwd* pg = getpwnam("postgres");
      if (!pg) {
        why_ = "running as root without a postgres account";
        return;
      }
      asUser_ = "runuser -u postgres -- ";
      if (chown(dir_.c_str(), pg->pw_uid, pg->pw_gid) != 0) return;
    }
    port_ = FreePort();
    const std::string data = dir_ + "/data";
    if (!Run(bin_ + "/initdb -A trust -U zenu -E UTF8 --no-locale -D " + data + " >" + dir_ +
             "/initdb.log 2>&1")) {
      why_ = "initdb failed (see " + dir_ + "/initdb.log)";
      return;
    }
    const std::string options = "-c listen_addresses=127.0.0.1 -c port=" + std::to_string(port_) +
                                " -c unix_socket_directories=" + dir_ +
                                " -c fsync=off -c max_connections=200";
    if (!Run(bin_ + "/pg_ctl -w -t 60 -D " + data + " -l " + dir_ + "/server.log -o '" + options +
             "' start >/dev/null")) {
      why_ = "the server did not start (see " + dir_ + "/server.log)";
      return;
    }
    started_ = true;
    if (!Run(bin_ + "/createdb -h 127.0.0.1 -p " + std::to_string(port_) + " -U zenu zenu")) {
      why_ = "createdb failed";
      return;
    }
    ready_ = true;
  }
  ~PgCluster() {
    if (started_) Run(bin_ + "/pg_ctl -w -m immediate -D " + dir_ + "/data stop >/dev/null 2>&1");
    if (!dir_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(dir_, ignored);
    }
  }
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  bool Ready() const { return ready_; }
  const std::string& WhyNot() const { return why_; }
  std::string Url(const std::string& db = "zenu") const {
    return "postgresql://zenu@127.0.0.1:" + std::to_string(port_) + "/" + db;
  }
  // A further empty database in the same cluster.
  bool CreateDatabase(const std::string& name) const {
    return Run(bin_ + "/createdb -h 127.0.0.1 -p " + std::to_string(port_) + " -U zenu " + name);
  }

 private:
  static std::string FindBin() {
    std::string best;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
      std::string bin = e.path().string() + "/bin";
      if (std::filesystem::exists(bin + "/initdb") && bin > best) best = bin;
    }
    return best;
  }
  static int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
      port = ntohs(addr.sin_port);
    }
    close(fd);
    return port;
  }
  bool Run(const std::string& command) const {
    return std::system((asUser_ + command).c_str()) == 0;
  }

  std::string bin_;
  std::string dir_;
  std::string asUser_;
  std::string why_ = "the cluster could not be made";
  int port_ = 0;
  bool started_ = false;
  bool ready_ = false;
};

}  // namespace zenu::test
