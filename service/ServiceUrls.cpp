#include "ServiceUrls.h"

namespace zenu {

ServiceUrls::ServiceUrls(std::string publicHost, int port, std::string scheme)
    : host_(std::move(publicHost)), port_(port), scheme_(std::move(scheme)) {}

std::string ServiceUrls::Root() const { return scheme_ + "://" + host_; }

std::string ServiceUrls::RootPort() const {
  return port_ == 0 ? Root() : Root() + ":" + std::to_string(port_);
}

std::string ServiceUrls::Bulletin(uint32_t movieId) const {
  return Root() + "/bulletin/" + std::to_string(movieId) + ".html";
}

std::string ServiceUrls::Torrent(uint32_t movieId) const {
  return Root() + "/torrent/" + std::to_string(movieId) + ".torrent";
}

std::string ServiceUrls::Content(const Movie& movie) const {
  return RootPort() + "/content/" + std::to_string(movie.id) + "/" + movie.fileName;
}

std::string ServiceUrls::Poster(uint32_t movieId) const {
  return Root() + "/poster/" + std::to_string(movieId);
}

std::string ServiceUrls::Fetch(const Movie& movie) const {
  if (movie.fetchMethod == FetchMethod::kBitTorrent) return Torrent(movie.id);
  return ThunderLink(Content(movie));
}

std::string ServiceUrls::Update() const { return RootPort() + "/download/"; }

std::string ServiceUrls::ThunderLink(const std::string& url) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string in = "AA" + url + "ZZ";
  std::string out = "thunder://";
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t n = static_cast<uint8_t>(in[i]) << 16;
    if (i + 1 < in.size()) n |= static_cast<uint8_t>(in[i + 1]) << 8;
    if (i + 2 < in.size()) n |= static_cast<uint8_t>(in[i + 2]);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += i + 1 < in.size() ? kAlphabet[(n >> 6) & 63] : '=';
    out += i + 2 < in.size() ? kAlphabet[n & 63] : '=';
  }
  return out;
}

}  // namespace zenu
