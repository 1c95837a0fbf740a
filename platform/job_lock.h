// One job at a time per AppDir, also across processes: an advisory lock on
// RipIn/.joblock (outside the Working folder, which every job empties). The
// lock dies with its process. Its holder writes its process id into the
// file, so a job that is refused can say who holds it.
//
// Whoever takes the lock also tidies what a killed job left: the printer
// files it was writing (platform/temporaries.h) are removed, and the files a
// hot-folder tick had moved into its batch folder go back to their hot
// folder. A tick holds the lock for as long as its batch folder holds files,
// so a batch folder found by the lock's new holder is one a kill left.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/temporaries.h"

namespace qm {

class JobLock {
 public:
  // Takes the lock of the AppDir, waiting up to `wait` for a job that holds
  // it (polling, so a wait ends as soon as the other job does); Held() tells
  // whether it succeeded. Taken, it first removes the printer files that a
  // job killed while writing left behind and what a dead job's tools left
  // in the Working folder, and holds the job's temporaries
  // (platform/temporaries.h) until it is released.
  explicit JobLock(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
  ~JobLock();
  JobLock(const JobLock&) = delete;
  JobLock& operator=(const JobLock&) = delete;
  bool Held() const { return fd_ >= 0; }
  // Why it was not taken, for the failure's cause: who holds the lock and
  // how long this one waited.
  const std::string& Refusal() const { return refusal_; }
  // Taken: the files of killed ticks that went back to their hot folders,
  // as "item/name", and those that came back under another name because a
  // newer file had taken theirs, as "item/old -> new".
  const std::vector<std::string>& Returned() const { return returned_; }
  const std::vector<std::string>& Renamed() const { return renamed_; }

 private:
  int fd_ = -1;
  std::string refusal_;
  std::unique_ptr<JobTemporaries> temporaries_;
  std::vector<std::string> returned_, renamed_;
};

// The hidden folder beside the hot folder `item` in RipIn/CustomFiles from
// which a tick prints: "." + item + ".batch". Never an item.
std::string BatchFolderName(const std::string& item);

// Moves every file of `batch` back to `folder` and removes `batch` once it
// is empty. A file whose name a newer file in `folder` has taken comes back
// as "name (2).ext" (FreeName), never over it. The names moved, and the
// renamed ones as "old -> new".
struct BatchReturn {
  std::vector<std::string> moved, renamed;
};
BatchReturn ReturnBatch(const std::filesystem::path& batch, const std::filesystem::path& folder);

}  // namespace qm
