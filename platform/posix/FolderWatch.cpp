#include "zenuModule/src/desktop/FolderWatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>

#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/MessageLoop.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
constexpr uint32_t kMask =
    IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_ATTRIB | IN_ONLYDIR;
// Names delivered per batch: a folder flooded with writes costs one task per read.
constexpr size_t kMaxBatch = 256;

class CInotifyFolderWatch final : public IFolderWatch {
 public:
  ~CInotifyFolderWatch() override {
    if (m_thread.joinable()) {
      const uint64_t one = 1;
      (void)!write(m_wake, &one, sizeof one);
      m_thread.join();
    }
    if (m_fd >= 0) close(m_fd);
    if (m_wake >= 0) close(m_wake);
  }

  void SetListener(Listener listener) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listener = std::move(listener);
  }

  bool Add(const CString& folder) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!Open()) return false;
    const int wd = inotify_add_watch(m_fd, ToSysPath(folder).c_str(), kMask);
    if (wd < 0) return false;
    m_folders[wd] = folder;
    return true;
  }

  void Clear() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& entry : m_folders) inotify_rm_watch(m_fd, entry.first);
    m_folders.clear();
    ++m_generation;
  }

 private:
  // Called with the mutex held.
  bool Open() {
    if (m_fd >= 0) return true;
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_fd < 0 || m_wake < 0) return false;
    m_thread = std::thread([this] { Run(); });
    return true;
  }

  void Run() {
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
      pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents) return;
      const ssize_t n = read(m_fd, buffer, sizeof buffer);
      if (n <= 0) continue;
      std::set<std::pair<CString, CString>> batch;
      {
        // Posted under the lock: once Clear returns nothing more reaches the loop.
        std::lock_guard<std::mutex> lock(m_mutex);
        const uint64_t generation = m_generation;
        for (ssize_t at = 0; at < n;) {
          const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
          at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
          if (event->mask & IN_Q_OVERFLOW) {
            // Changes were lost: anything in any folder may have changed.
            for (const auto& entry : m_folders) batch.emplace(entry.second, CString());
            continue;
          }
          const auto folder = m_folders.find(event->wd);
          if (event->mask & IN_IGNORED) {
            if (folder != m_folders.end()) m_folders.erase(folder);
            continue;
          }
          if (folder == m_folders.end() || event->len == 0 || batch.size() >= kMaxBatch) continue;
          CString name(event->name);
          ConvertUtf8ToGBK(name);
          batch.emplace(folder->second, name);
        }
        IMessageLoop* loop = CPlatform::Loop();
        if (batch.empty() || !loop) continue;
        loop->Post([this, batch = std::move(batch), generation] { Deliver(batch, generation); });
      }
    }
  }

  void Deliver(const std::set<std::pair<CString, CString>>& batch, uint64_t generation) {
    Listener listener;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      // Changes read before a Clear belong to watches that no longer exist.
      if (generation != m_generation) return;
      listener = m_listener;
    }
    if (!listener) return;
    for (const auto& change : batch) listener(change.first, change.second);
  }

  std::mutex m_mutex;
  int m_fd = -1;
  int m_wake = -1;
  std::thread m_thread;
  std::unordered_map<int, CString> m_folders;
  uint64_t m_generation = 0;
  Listener m_listener;
};
}  // namespace

IFolderWatch& FolderWatch() {
  // Never destroyed: engines destroyed at exit may still clear their watches.
  static auto* watch = new CInotifyFolderWatch;
  return *watch;
}
