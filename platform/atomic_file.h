// A file written under a temporary name beside its final name and renamed over
// it when complete: every writer of the system's files uses it (PRN files,
// plane files, PDF pages, the preset and start-up files).
//
// - The temporary is "." + final name + "." + a unique part + ".tmp" in the
//   final name's folder, which no listing of the system's files matches, so
//   no reader ever sees a half-written file; until Commit an older file of
//   the final name is untouched.
// - Commit makes the result durable in this order: the file's data are
//   flushed to the disk (fsync), the file is closed, renamed over the final
//   name, and the folder is flushed so that the rename survives a power loss.
// - A file not committed is removed: by Discard or the destructor, by SIGINT
//   and SIGTERM (registered in temporaries.h), and by the next job on the
//   AppDir when its writer was killed (the writer holds an flock on it).
//
// The file may be written through fd() (read and write, as libtiff needs) or
// reopened by name (a stream); fsync through fd() flushes what any
// descriptor wrote.
//
// Error policy: Create returns StatusOr<the file>, Commit a Status; the cause
// names the step and the file. Nothing throws.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/status.h"

namespace qm {

class AtomicFile {
 public:
  // Creates the temporary, or fails with the cause (missing folder, no
  // permission). A scratch file, one that lives only while a job runs (a
  // turned copy of a plane), is renamed into place without the flushes:
  // nothing is lost with it that the job cannot redo.
  static StatusOr<std::unique_ptr<AtomicFile>> Create(const std::filesystem::path& finalPath, bool scratch = false);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  int fd() const { return fd_; }
  const std::filesystem::path& finalPath() const { return finalPath_; }
  const std::filesystem::path& tempPath() const { return tempPath_; }

  // Flush, close, rename, flush the folder. On failure the temporary is
  // removed and the cause names the step and the file.
  Status Commit();
  // Closes and removes the temporary (nothing once committed).
  void Discard();

 private:
  AtomicFile(int fd, std::filesystem::path finalPath, std::filesystem::path tempPath, int registered);

  int fd_ = -1;
  std::filesystem::path finalPath_, tempPath_;
  int registered_ = -1;
  bool committed_ = false;
  bool scratch_ = false;
};

// The temporary name of finalPath without its unique part: "." + file name + "."
// (a name over 208 bytes cut to its first 208, so the whole fits in 255).
std::string TemporaryNamePrefix(const std::filesystem::path& finalPath);

}  // namespace qm
