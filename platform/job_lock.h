// One job at a time per AppDir, also across processes: an advisory lock on
// RipIn/.joblock (outside the Working folder, which every job empties). The
// lock dies with its process.
#pragma once

#include <filesystem>

namespace qm {

class JobLock {
 public:
  // Tries to take the lock of the AppDir; Held() tells whether it succeeded.
  // Taken, it first removes the printer files that a job killed while
  // writing left behind (platform/temporaries.h).
  JobLock();
  ~JobLock();
  JobLock(const JobLock&) = delete;
  JobLock& operator=(const JobLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

inline constexpr const char* kAnotherJobMessage = "Another job is using the working folder!";

}  // namespace qm
