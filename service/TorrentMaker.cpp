#include "TorrentMaker.h"

#include <filesystem>
#include <iterator>
#include <libtorrent/bdecode.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/file_storage.hpp>
#include <libtorrent/torrent_info.hpp>
#include <sstream>
#include <stdexcept>

namespace zenu {

std::string TorrentMaker::Make(const std::string& contentFile, std::string* infoHashHex) {
  namespace fs = std::filesystem;
  lt::file_storage files;
  lt::add_files(files, contentFile);
  if (files.num_files() != 1) throw std::runtime_error("no content file: " + contentFile);
  lt::create_torrent maker(files, 0, lt::create_torrent::v1_only);
  maker.set_creator("zenu-service");
  lt::error_code ec;
  lt::set_piece_hashes(maker, fs::path(contentFile).parent_path().string(), ec);
  if (ec) throw std::runtime_error("hashing " + contentFile + ": " + ec.message());
  std::string out;
  lt::bencode(std::back_inserter(out), maker.generate());
  if (infoHashHex) {
    lt::error_code parseError;
    lt::torrent_info info(lt::span<char const>(out.data(), static_cast<long>(out.size())),
                          parseError, lt::from_span);
    if (parseError) throw std::runtime_error("made an unreadable torrent: " + parseError.message());
    std::ostringstream hex;
    hex << info.info_hashes().v1;
    *infoHashHex = hex.str();
  }
  return out;
}

std::string TorrentMaker::WithWebSeed(const std::string& torrent, const std::string& url) {
  lt::error_code ec;
  lt::bdecode_node root = lt::bdecode(torrent, ec);
  if (ec || root.type() != lt::bdecode_node::dict_t || torrent.back() != 'e') {
    throw std::runtime_error("stored torrent is not a dictionary");
  }
  // Dictionary keys are sorted; "url-list" sorts after every key the maker writes, so it goes
  // last, right before the closing 'e'.
  for (int i = 0; i < root.dict_size(); ++i) {
    if (root.dict_at(i).first >= "url-list") {
      throw std::runtime_error("stored torrent has a key after url-list");
    }
  }
  std::string out = torrent.substr(0, torrent.size() - 1);
  out += "8:url-list" + std::to_string(url.size()) + ":" + url + "e";
  return out;
}

namespace {
std::string Bytes(const std::string& s) { return std::to_string(s.size()) + ":" + s; }
}  // namespace

std::string TorrentMaker::WithTrackers(const std::string& torrent,
                                       const std::vector<std::string>& urls) {
  if (urls.empty()) return torrent;
  lt::error_code ec;
  lt::bdecode_node root = lt::bdecode(torrent, ec);
  if (ec || root.type() != lt::bdecode_node::dict_t || torrent.empty() || torrent[0] != 'd') {
    throw std::runtime_error("stored torrent is not a dictionary");
  }
  // "announce" and "announce-list" sort before every key the makers write, so they go first.
  for (int i = 0; i < root.dict_size(); ++i) {
    if (root.dict_at(i).first <= "announce-list") {
      throw std::runtime_error("stored torrent has a key before announce-list");
    }
  }
  std::string out = "d8:announce" + Bytes(urls.front()) + "13:announce-listl";
  for (const std::string& url : urls) out += "l" + Bytes(url) + "e";
  out += "e";
  out.append(torrent, 1, std::string::npos);
  return out;
}

}  // namespace zenu
