#include "DiskRoom.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {
constexpr std::int64_t kMiB = 1 << 20;

std::string SizeText(std::int64_t bytes) {
  char text[32];
  if (bytes >= 1024 * kMiB) {
    std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / (1024.0 * kMiB));
  } else {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / kMiB);
  }
  return text;
}
}  // namespace

bool ProbeDiskRoom(const std::string& folder, SDiskRoom& room) {
  if (const char* fake = std::getenv("VADEKO_BT_DISK_ROOM")) {
    std::ifstream in(fake);
    return static_cast<bool>(in >> room.available >> room.size);
  }
  std::filesystem::path at(folder);
  struct statvfs vfs {};
  while (::statvfs(at.c_str(), &vfs) != 0) {
    if (!at.has_relative_path()) return false;
    at = at.parent_path();
  }
  room.available =
      static_cast<std::int64_t>(vfs.f_bavail) * static_cast<std::int64_t>(vfs.f_frsize);
  room.size = static_cast<std::int64_t>(vfs.f_blocks) * static_cast<std::int64_t>(vfs.f_frsize);
  return true;
}

std::int64_t BytesStillMissing(const lt::file_storage& files, const std::string& savePath) {
  std::int64_t missing = 0;
  for (const lt::file_index_t i : files.file_range()) {
    if (files.pad_file_at(i)) continue;
    const std::int64_t size = files.file_size(i);
    struct stat st {};
    // Files are sparse: what is written is what the file system has allocated.
    const std::int64_t written =
        ::stat(files.file_path(i, savePath).c_str(), &st) == 0
            ? std::min<std::int64_t>(size, static_cast<std::int64_t>(st.st_blocks) * 512)
            : 0;
    missing += size - written;
  }
  return missing;
}

std::int64_t RoomMargin(const SDiskRoom& room) {
  return std::min<std::int64_t>(256 * kMiB, room.size / 100 * 3);
}

std::string NoRoomText(const std::string& folder, std::int64_t needed, std::int64_t available) {
  return "磁盘空间不足，下载已暂停：保存位置“" + folder + "”所在的磁盘还需要 " + SizeText(needed) +
         " 可用空间，现在只有 " + SizeText(std::max<std::int64_t>(0, available)) + "。请腾出 " +
         SizeText(needed - std::max<std::int64_t>(0, available)) +
         " 后重新开始下载，已下载的部分会保留。";
}
