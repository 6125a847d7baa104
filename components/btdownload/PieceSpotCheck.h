#pragma once
#include <libtorrent/bitfield.hpp>
#include <libtorrent/torrent_info.hpp>
#include <string>

// Resume data says which pieces are on disk, but anyone who can write the
// folder can write it too. A few of the pieces it claims, picked at random,
// are read back and hashed against the torrent: true when they all match (or
// the torrent has no SHA-1 piece hashes to check against).
bool SpotCheckPieces(const lt::torrent_info& info, const std::string& savePath,
                     const lt::typed_bitfield<lt::piece_index_t>& have, int count);
