#include "platform/temporaries.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "platform/platform.h"

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

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the slot states");

extern "C" void OnTerminatingSignal(int signal) {
  RemoveRegisteredTemporaries();
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

void RemoveRegisteredTemporaries() noexcept {
  for (Slot& slot : g_slots) {
    if (slot.state.load() == kInUse) ::unlink(slot.path);
  }
}

void RemoveTemporariesOnSignals() {
  struct sigaction action {};
  action.sa_handler = OnTerminatingSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM}) ::sigaction(signal, &action, nullptr);
}

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

}  // namespace qm
