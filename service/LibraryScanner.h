#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Store.h"

namespace zenu {

struct ScanProgress final {
  size_t filesDone = 0;
  size_t filesTotal = 0;
  uint64_t bytesDone = 0;
  uint64_t bytesTotal = 0;
};

struct ScanReport final {
  size_t movies = 0;  // library movies offered after the scan
  size_t added = 0;
  size_t changed = 0;
  size_t moved = 0;
  size_t unchanged = 0;
  size_t withdrawn = 0;
  size_t restored = 0;
  size_t duplicates = 0;
  std::vector<std::string> skipped;  // "path: reason"
  std::vector<std::string> errors;   // library folders that could not be read
  uint64_t hashedBytes = 0;
  double seconds = 0;

  // "scan: added A, changed C, retired R, skipped S, unchanged U (T s)"; a moved file counts
  // as changed, a film whose file came back as added.
  std::string Summary() const;
  // The finer figures, one indented line.
  std::string Details() const;
};

// Scan progress as one line on stderr, rewritten at most five times a second, when stderr is
// a terminal; nothing otherwise. The line is cleared when the object goes.
class TerminalProgress final {
 public:
  TerminalProgress();
  ~TerminalProgress();
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;
  void operator()(const ScanProgress& p);

 private:
  bool terminal_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point last_;
};

// What the background scans have done so far.
struct ScanState final {
  int completed = 0;
  bool running = false;
  ScanReport last;
};

// Brings the store in line with the library folders: films are served in place from their
// own files, never copied. A file keeps its movie id when it changes or moves; a file whose
// size and modification time are those of the last scan is not read again; a file with the
// content of another one present is a duplicate and not offered twice; a film whose file is
// gone is withdrawn, and comes back with its id when the file does.
class LibraryScanner final {
 public:
  // `roots` must be canonical (see CanonicalRoot). `probeTool`: an ffprobe, or empty.
  LibraryScanner(Store& store, std::string dataDir, std::vector<std::string> roots,
                 std::string probeTool);

  ScanReport Scan(const std::function<void(const ScanProgress&)>& progress,
                  const std::atomic<bool>* cancel);

  // The absolute path without links; throws std::runtime_error when it is not a folder.
  static std::string CanonicalRoot(const std::string& path);
  // True when `path` (canonical) lies below one of `roots`.
  static bool Inside(const std::string& path, const std::vector<std::string>& roots);

 private:
  Store& store_;
  std::string dataDir_;
  std::vector<std::string> roots_;
  std::string probeTool_;
};

}  // namespace zenu
