#include "platform/job_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "platform/platform.h"
#include "platform/temporaries.h"

namespace qm {

namespace {

// "process 1234", from what the holder wrote; "another process" when it has
// not written yet.
std::string Holder(int fd) {
  char text[32] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  long pid = 0;
  if (n > 0 && std::sscanf(text, "%ld", &pid) == 1 && pid > 0) return "process " + std::to_string(pid);
  return "another process";
}

}  // namespace

JobLock::JobLock(std::chrono::milliseconds wait) {
  const fs::path ripIn = AppDir() / "RipIn";
  CreateFolder(ripIn);
  const fs::path lockPath = ripIn / ".joblock";
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    refusal_ = OpenFailure(lockPath);
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      refusal_ = "the working folder is locked by " + Holder(fd) + " (" + lockPath.string() + ")";
      if (wait.count() > 0) {
        char waited[48];
        std::snprintf(waited, sizeof waited, "; waited %g s", wait.count() / 1000.0);
        refusal_ += waited;
      }
      ::close(fd);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  fd_ = fd;
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd_, 0) == 0) (void)!::pwrite(fd_, pid.data(), pid.size(), 0);
  // Printer files a killed job left half-written under their hidden names.
  RemoveAbandonedTemporaries(ripIn / "UserPrn");
}

JobLock::~JobLock() {
  if (fd_ >= 0) {
    (void)!::ftruncate(fd_, 0);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
}

}  // namespace qm
