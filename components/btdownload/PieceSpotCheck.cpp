#include "PieceSpotCheck.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <libtorrent/hasher.hpp>
#include <random>
#include <vector>

namespace {
bool ReadSlice(const std::string& path, std::int64_t offset, std::int64_t size, char* out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  std::int64_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, out + done, static_cast<size_t>(size - done), offset + done);
    if (n <= 0) break;
    done += n;
  }
  ::close(fd);
  return done == size;
}

bool PieceMatches(const lt::torrent_info& info, const std::string& savePath,
                  lt::piece_index_t piece) {
  const lt::file_storage& files = info.files();
  const int size = info.piece_size(piece);
  std::vector<char> bytes(static_cast<size_t>(size), '\0');
  std::int64_t at = 0;
  for (const lt::file_slice& slice : files.map_block(piece, 0, size)) {
    // Pad files are zeros and never on disk.
    if (!files.pad_file_at(slice.file_index) &&
        !ReadSlice(files.file_path(slice.file_index, savePath), slice.offset, slice.size,
                   bytes.data() + at))
      return false;
    at += slice.size;
  }
  return lt::hasher(bytes.data(), size).final() == info.hash_for_piece(piece);
}
}  // namespace

bool SpotCheckPieces(const lt::torrent_info& info, const std::string& savePath,
                     const lt::typed_bitfield<lt::piece_index_t>& have, int count) {
  if (!info.info_hashes().has_v1()) return true;
  std::vector<lt::piece_index_t> claimed;
  for (lt::piece_index_t i(0); i < have.end_index() && i < info.end_piece(); ++i)
    if (have[i]) claimed.push_back(i);
  std::random_device seed;
  std::mt19937 random(seed());
  std::shuffle(claimed.begin(), claimed.end(), random);
  claimed.resize(std::min<size_t>(claimed.size(), static_cast<size_t>(count)));
  return std::all_of(claimed.begin(), claimed.end(),
                     [&](lt::piece_index_t piece) { return PieceMatches(info, savePath, piece); });
}
