// One job at a time per AppDir, also across processes: an advisory lock on
// RipIn/.joblock (outside the Working folder, which every job empties). The
// lock dies with its process. Its holder writes its process id into the
// file, so a job that is refused can say who holds it.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace qm {

class JobLock {
 public:
  // Takes the lock of the AppDir, waiting up to `wait` for a job that holds
  // it (polling, so a wait ends as soon as the other job does); Held() tells
  // whether it succeeded. Taken, it first removes the printer files that a
  // job killed while writing left behind (platform/temporaries.h).
  explicit JobLock(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
  ~JobLock();
  JobLock(const JobLock&) = delete;
  JobLock& operator=(const JobLock&) = delete;
  bool Held() const { return fd_ >= 0; }
  // Why it was not taken, for the failure's cause: who holds the lock and
  // how long this one waited.
  const std::string& Refusal() const { return refusal_; }

 private:
  int fd_ = -1;
  std::string refusal_;
};

inline constexpr const char* kAnotherJobMessage = "Another job is using the working folder!";

}  // namespace qm
