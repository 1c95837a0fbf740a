// Which files of a folder something is still writing, for a hot folder that
// must not take a file before its writer is done. Two sources, because
// neither sees every writer:
//
// - The open files of the processes this user may inspect: a file is being
//   written while a process holds it open for writing (/proc/PID/fd, with
//   the access mode from /proc/PID/fdinfo). This sees a writer that pauses
//   with its file open, also one that started before the watch.
// - inotify on the folder: a file modified since its last close after
//   writing is being written, whoever writes it (another user's copy, a file
//   server's daemon).
//
// Writers on another machine (an NFS client) are seen by neither; for them
// only the file's own stillness tells (app/hot_folder.h). Never throws; a
// folder that cannot be watched gives only what /proc shows.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace qm {

// The names of `folder`'s entries that a process this user may inspect holds
// open for writing (O_WRONLY or O_RDWR).
std::set<std::string> FilesOpenForWriting(const std::filesystem::path& folder);

class FolderWriters {
 public:
  // A file modified with no close after it and held open by no process it
  // can see counts as written for `settle` after its last change: a change
  // by path (truncate(2)) brings no close, and the file must not wait forever.
  explicit FolderWriters(std::filesystem::path folder, std::chrono::seconds settle = std::chrono::seconds(120));
  ~FolderWriters();
  FolderWriters(const FolderWriters&) = delete;
  FolderWriters& operator=(const FolderWriters&) = delete;

  // The names of the folder's files being written now, by either source.
  // When the event queue overflowed since the last call, every file of the
  // folder counts as written this once (the events that would tell are lost).
  std::set<std::string> Writing();

 private:
  void Watch();
  // Reads the pending events; false when the queue overflowed.
  bool Drain();

  std::filesystem::path folder_;
  int inotify_ = -1;
  int watch_ = -1;
  std::chrono::seconds settle_;
  // Modified since their last close after writing, with the last change.
  std::map<std::string, std::chrono::steady_clock::time_point> modified_;
};

}  // namespace qm
