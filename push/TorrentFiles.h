#pragma once
#include <cstdint>
#include <vector>

#include "zenuModule/src/Types.h"

// The files a torrent describes, as paths below the folder it is saved to.
struct STorrentFile {
  CString strPath;  // GBK, elements joined by '/'; the torrent's name comes first
  int64_t iLength = 0;
};

// Reads the file list of a .torrent (single or multi-file). false for anything
// that is not a well-formed torrent of sane size, or that names a path leaving
// its folder ("..", an absolute path, an empty element).
bool ReadTorrentFiles(const CString& torrentFile, std::vector<STorrentFile>& files);

// The movie of a torrent: its largest file; false when there is none.
bool TorrentMovieFile(const CString& torrentFile, STorrentFile& movie);
