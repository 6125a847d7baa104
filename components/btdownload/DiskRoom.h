#pragma once
#include <cstdint>
#include <libtorrent/file_storage.hpp>
#include <string>

// Whether the file system of a save folder has room for the rest of a download.
struct SDiskRoom {
  std::int64_t available = 0;  // bytes an ordinary user may still write
  std::int64_t size = 0;       // of the whole file system
};

// The file system holding folder, or its nearest existing parent. The
// environment variable VADEKO_BT_DISK_ROOM may name a file holding
// "<available> <size>" in bytes, read instead of the file system's figures.
bool ProbeDiskRoom(const std::string& folder, SDiskRoom& room);

// What the files still need on disk: their sizes less what is already written.
std::int64_t BytesStillMissing(const lt::file_storage& files, const std::string& savePath);

// Kept free beyond the download: 3 percent of the file system, at most 256 MiB.
std::int64_t RoomMargin(const SDiskRoom& room);

// The error shown to the user when the room is too small.
std::string NoRoomText(const std::string& folder, std::int64_t needed, std::int64_t available);
