#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace zenu {

struct HashedFile final {
  std::string torrent;     // bencoded v1 single-file torrent, no web seed
  std::string infoHash;    // hex
  std::string contentKey;  // hex SHA-1 over piece length, size and piece hashes
};

// Hashes a library file into a v1 torrent with large sequential reads and OpenSSL's SHA-1,
// at about the speed of sha1sum on the same file.
class LibraryTorrent final {
 public:
  // Reads `size` bytes of the open file; `progress` gets the bytes read so far. Throws
  // std::runtime_error when the file is shorter than `size`, unreadable, or `cancel` is set.
  static HashedFile Make(int fd, uint64_t size, const std::string& name,
                         const std::function<void(uint64_t)>& progress,
                         const std::atomic<bool>* cancel);
  // A torrent for the same pieces under another name, without reading the file again.
  static HashedFile Rename(const std::string& torrent, const std::string& name);
  // Powers of two from 16 KiB to 4 MiB, aiming at about 1500 pieces.
  static uint32_t PieceLength(uint64_t size);

 private:
  static HashedFile Assemble(uint64_t size, uint32_t pieceLength, const std::string& pieces,
                             const std::string& name);
};

}  // namespace zenu
