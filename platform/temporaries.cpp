#include "platform/temporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/platform.h"
#include "platform/process.h"

namespace qm {

namespace {

constexpr int kSlots = 64;
constexpr std::size_t kPathBytes = 4096;

enum : int { kFree = 0, kFilling = 1, kInUse = 2 };

struct Slot {
  std::atomic<int> state{kFree};
  char path[kPathBytes];
};

Slot g_slots[kSlots];
Slot g_folders[8];

// Unlinks the entries of the open folder `dir` whose names start with ".qm";
// with `everything`, every entry. A folder among them is emptied (one level)
// and removed. Raw getdents64 and *at calls only: async-signal-safe.
void SweepFolder(int dir, bool everything, int depth) noexcept {
  alignas(8) char buf[4096];
  while (true) {
    const long n = ::syscall(SYS_getdents64, dir, buf, sizeof buf);
    if (n <= 0) return;
    for (long off = 0; off < n;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(buf + off);
      off += entry->d_reclen;
      const char* name = entry->d_name;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      if (!everything && std::strncmp(name, ".qm", 3) != 0) continue;
      if (entry->d_type == DT_DIR) {
        if (depth > 0) continue;
        const int sub = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0) {
          SweepFolder(sub, true, depth + 1);
          ::close(sub);
        }
        ::unlinkat(dir, name, AT_REMOVEDIR);
      } else {
        ::unlinkat(dir, name, 0);
      }
    }
  }
}

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the slot states");

extern "C" void OnTerminatingSignal(int signal) {
  AbandonRunningWork();
  ::_exit(128 + signal);
}

}  // namespace

int RegisterTemporary(const fs::path& path) {
  const std::string& text = path.native();
  if (text.size() >= kPathBytes) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!g_slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(g_slots[i].path, text.c_str(), text.size() + 1);
    g_slots[i].state.store(kInUse);
    return i;
  }
  return -1;
}

void UnregisterTemporary(int handle) {
  if (handle >= 0 && handle < kSlots) g_slots[handle].state.store(kFree);
}

int RegisterTemporaryFolder(const fs::path& folder) {
  const std::string& text = folder.native();
  if (text.size() >= kPathBytes) return -1;
  for (int i = 0; i < static_cast<int>(std::size(g_folders)); ++i) {
    int expected = kFree;
    if (!g_folders[i].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(g_folders[i].path, text.c_str(), text.size() + 1);
    g_folders[i].state.store(kInUse);
    return i;
  }
  return -1;
}

void UnregisterTemporaryFolder(int handle) {
  if (handle >= 0 && handle < static_cast<int>(std::size(g_folders))) g_folders[handle].state.store(kFree);
}

void RemoveRegisteredTemporaries() noexcept {
  for (Slot& slot : g_slots) {
    if (slot.state.load() == kInUse) ::unlink(slot.path);
  }
  for (Slot& folder : g_folders) {
    if (folder.state.load() != kInUse) continue;
    const int dir = ::open(folder.path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) continue;
    SweepFolder(dir, false, 0);
    ::close(dir);
  }
}

void AbandonRunningWork() noexcept {
  KillRunningProcessGroups();
  RemoveRegisteredTemporaries();
}

void HandleStopSignals(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM}) ::sigaction(signal, &action, nullptr);
}

void RemoveTemporariesOnSignals() { HandleStopSignals(OnTerminatingSignal); }

void RemoveAbandonedTemporaries(const fs::path& folder) {
  for (const std::string& name : ListFolder(folder, ".*.tmp", EntryKind::Files)) {
    const fs::path path = folder / name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    // A writer that still runs holds the lock; one that is gone released it.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
    ::close(fd);
  }
}

fs::path JobTemporaryFolder() {
  const fs::path folder = WorkingDir() / ".qmtmp";
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return WorkingDir();
  return folder;
}

void RemoveJobTemporaries(const fs::path& folder) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  SweepFolder(dir, false, 0);
  ::close(dir);
}

JobTemporaries::JobTemporaries() {
  const fs::path working = WorkingDir();
  CreateFolder(working);
  RemoveJobTemporaries(working);
  const fs::path folder = JobTemporaryFolder();
  if (const char* old = std::getenv("MAGICK_TEMPORARY_PATH")) {
    hadMagickPath_ = true;
    magickPath_ = old;
  }
  ::setenv("MAGICK_TEMPORARY_PATH", folder.c_str(), 1);
  handle_ = RegisterTemporaryFolder(working);
}

JobTemporaries::~JobTemporaries() {
  UnregisterTemporaryFolder(handle_);
  RemoveJobTemporaries(WorkingDir());
  if (hadMagickPath_) ::setenv("MAGICK_TEMPORARY_PATH", magickPath_.c_str(), 1);
  else ::unsetenv("MAGICK_TEMPORARY_PATH");
}

}  // namespace qm
