#include "TrackerWhitelist.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace zenu {

namespace {

bool IsInfoHash(const std::string& hex) {
  return hex.size() == 40 && std::all_of(hex.begin(), hex.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

std::string TrackerWhitelist::Render(const Catalogue& catalogue) {
  std::vector<std::string> hashes;
  for (const Movie& m : catalogue.All()) {
    if (m.fetchMethod != FetchMethod::kBitTorrent || !m.Available()) continue;
    std::string hex = m.infoHash;
    std::transform(hex.begin(), hex.end(), hex.begin(),
                   [](char c) { return c >= 'A' && c <= 'F' ? static_cast<char>(c + 32) : c; });
    if (IsInfoHash(hex)) hashes.push_back(hex);
  }
  std::sort(hashes.begin(), hashes.end());
  hashes.erase(std::unique(hashes.begin(), hashes.end()), hashes.end());
  std::string out;
  for (const std::string& h : hashes) out += h + "\n";
  return out;
}

bool TrackerWhitelist::Write(const std::string& path, const Catalogue& catalogue) {
  const std::string text = Render(catalogue);
  if (ReadAll(path) == text && access(path.c_str(), F_OK) == 0) return false;
  // Several service processes may share one list.
  const std::string temp = path + ".new." + std::to_string(getpid());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) throw std::runtime_error("cannot write " + temp + ": " + std::strerror(errno));
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string why = std::strerror(errno);
      close(fd);
      unlink(temp.c_str());
      throw std::runtime_error("cannot write " + temp + ": " + why);
    }
    done += static_cast<size_t>(n);
  }
  const bool synced = fsync(fd) == 0;
  close(fd);
  if (!synced || rename(temp.c_str(), path.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    unlink(temp.c_str());
    throw std::runtime_error("cannot replace " + path + ": " + why);
  }
  return true;
}

}  // namespace zenu
