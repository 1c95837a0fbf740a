#include "platform/open_writers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>

#include "platform/platform.h"

namespace qm {

namespace {

bool AllDigits(const char* s) {
  if (*s == '\0') return false;
  for (; *s; ++s) {
    if (*s < '0' || *s > '9') return false;
  }
  return true;
}

// The access mode of an open file from the "flags:" line (octal) of its
// fdinfo; -1 when it cannot be read (the process or the descriptor is gone).
int AccessMode(const std::string& fdinfo) {
  const int fd = ::open(fdinfo.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char text[512];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return -1;
  text[n] = '\0';
  const char* flags = std::strstr(text, "flags:");
  if (!flags) return -1;
  return static_cast<int>(std::strtol(flags + 6, nullptr, 8) & O_ACCMODE);
}

}  // namespace

std::set<std::string> FilesOpenForWriting(const fs::path& folder) {
  std::set<std::string> writing;
  // /proc shows the resolved path of every open file.
  char real[PATH_MAX];
  if (!::realpath(folder.c_str(), real)) return writing;
  const std::string prefix = std::string(real) + "/";
  DIR* proc = ::opendir("/proc");
  if (!proc) return writing;
  while (const dirent* process = ::readdir(proc)) {
    if (!AllDigits(process->d_name)) continue;
    const std::string base = std::string("/proc/") + process->d_name;
    DIR* fds = ::opendir((base + "/fd").c_str());
    if (!fds) continue;  // another user's process, or one that has ended
    while (const dirent* fd = ::readdir(fds)) {
      if (!AllDigits(fd->d_name)) continue;
      char target[PATH_MAX];
      const ssize_t n = ::readlink((base + "/fd/" + fd->d_name).c_str(), target, sizeof target);
      if (n <= static_cast<ssize_t>(prefix.size()) || n >= static_cast<ssize_t>(sizeof target)) continue;
      const std::string_view path(target, static_cast<std::size_t>(n));
      if (path.compare(0, prefix.size(), prefix) != 0) continue;
      const std::string_view name = path.substr(prefix.size());
      if (name.find('/') != std::string_view::npos) continue;
      const int mode = AccessMode(base + "/fdinfo/" + fd->d_name);
      if (mode == O_WRONLY || mode == O_RDWR) writing.emplace(name);
    }
    ::closedir(fds);
  }
  ::closedir(proc);
  return writing;
}

FolderWriters::FolderWriters(fs::path folder, std::chrono::seconds settle)
    : folder_(std::move(folder)), settle_(settle) {
  inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  Watch();
}

FolderWriters::~FolderWriters() {
  if (inotify_ >= 0) ::close(inotify_);
}

void FolderWriters::Watch() {
  if (inotify_ < 0 || watch_ >= 0) return;
  watch_ = ::inotify_add_watch(inotify_, folder_.c_str(),
                               IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE | IN_ONLYDIR);
}

bool FolderWriters::Drain() {
  if (inotify_ < 0) return true;
  bool complete = true;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(inotify_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // EAGAIN: nothing more pending
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) complete = false;
      if (event->mask & IN_IGNORED) watch_ = -1;  // the folder went away
      if (event->len == 0) continue;
      const std::string name(event->name);
      // A writer that closes (also one that was killed: the kernel closes
      // its files) is done; a file moved in or out starts afresh.
      if (event->mask & IN_MODIFY) {
        modified_[name] = std::chrono::steady_clock::now();
      } else {
        modified_.erase(name);
      }
    }
  }
  return complete;
}

std::set<std::string> FolderWriters::Writing() {
  const bool complete = Drain();
  Watch();  // again, when the folder was removed and made anew
  std::set<std::string> writing = FilesOpenForWriting(folder_);
  const auto now = std::chrono::steady_clock::now();
  for (auto it = modified_.begin(); it != modified_.end();) {
    if (now - it->second >= settle_ && !writing.contains(it->first)) {
      it = modified_.erase(it);
    } else {
      writing.insert(it->first);
      ++it;
    }
  }
  if (!complete) {
    modified_.clear();
    for (const std::string& name : ListFolder(folder_, "*.*", EntryKind::Files)) writing.insert(name);
  }
  return writing;
}

}  // namespace qm
