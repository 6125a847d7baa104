#include "LibraryTorrent.h"

#include <fcntl.h>
#include <openssl/sha.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <libtorrent/bdecode.hpp>
#include <memory>
#include <stdexcept>

namespace zenu {
namespace {

constexpr size_t kReadBytes = 8u << 20;  // a multiple of every piece length

std::string Hex(const unsigned char* digest, size_t n) {
  static const char* kDigits = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += kDigits[digest[i] >> 4];
    out += kDigits[digest[i] & 15];
  }
  return out;
}

std::string Sha1Hex(const std::string& data) {
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
  return Hex(digest, sizeof(digest));
}

std::string Str(const std::string& s) { return std::to_string(s.size()) + ":" + s; }

}  // namespace

uint32_t LibraryTorrent::PieceLength(uint64_t size) {
  uint32_t length = 16u << 10;
  while (length < (4u << 20) && size / length > 1500) length *= 2;
  return length;
}

HashedFile LibraryTorrent::Assemble(uint64_t size, uint32_t pieceLength, const std::string& pieces,
                                    const std::string& name) {
  const std::string info = "d6:lengthi" + std::to_string(size) + "e4:name" + Str(name) +
                           "12:piece lengthi" + std::to_string(pieceLength) + "e6:pieces" +
                           Str(pieces) + "e";
  HashedFile out;
  out.torrent = "d10:created by12:zenu-service4:info" + info + "e";
  out.infoHash = Sha1Hex(info);
  out.contentKey = Sha1Hex(std::to_string(pieceLength) + ":" + std::to_string(size) + ":" + pieces);
  return out;
}

HashedFile LibraryTorrent::Make(int fd, uint64_t size, const std::string& name,
                                const std::function<void(uint64_t)>& progress,
                                const std::atomic<bool>* cancel) {
  if (size == 0) throw std::runtime_error("empty file");
  const uint32_t pieceLength = PieceLength(size);
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[kReadBytes]);
  std::string pieces;
  pieces.reserve(static_cast<size_t>((size + pieceLength - 1) / pieceLength) * SHA_DIGEST_LENGTH);
  uint64_t at = 0;
  while (at < size) {
    if (cancel && cancel->load()) throw std::runtime_error("cancelled");
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kReadBytes, size - at));
    size_t got = 0;
    while (got < want) {
      ssize_t n = ::pread(fd, buffer.get() + got, want - got, static_cast<off_t>(at + got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw std::runtime_error(std::string("read: ") + std::strerror(errno));
      if (n == 0) throw std::runtime_error("the file became shorter while it was read");
      got += static_cast<size_t>(n);
    }
    for (size_t off = 0; off < got; off += pieceLength) {
      unsigned char digest[SHA_DIGEST_LENGTH];
      SHA1(buffer.get() + off, std::min<size_t>(pieceLength, got - off), digest);
      pieces.append(reinterpret_cast<const char*>(digest), sizeof(digest));
    }
    at += got;
    if (progress) progress(at);
  }
  return Assemble(size, pieceLength, pieces, name);
}

HashedFile LibraryTorrent::Rename(const std::string& torrent, const std::string& name) {
  lt::error_code ec;
  lt::bdecode_node root = lt::bdecode(torrent, ec);
  if (ec || root.type() != lt::bdecode_node::dict_t) throw std::runtime_error("bad torrent");
  lt::bdecode_node info = root.dict_find_dict("info");
  if (!info) throw std::runtime_error("torrent without info");
  const int64_t size = info.dict_find_int_value("length", -1);
  const int64_t pieceLength = info.dict_find_int_value("piece length", -1);
  const std::string pieces(info.dict_find_string_value("pieces"));
  if (size <= 0 || pieceLength <= 0 || pieces.empty()) throw std::runtime_error("bad torrent");
  return Assemble(static_cast<uint64_t>(size), static_cast<uint32_t>(pieceLength), pieces, name);
}

}  // namespace zenu
