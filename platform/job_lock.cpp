#include "platform/job_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/temporaries.h"

namespace qm {

JobLock::JobLock() {
  const fs::path ripIn = AppDir() / "RipIn";
  CreateFolder(ripIn);
  const fs::path lockPath = ripIn / ".joblock";
  fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) return;
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  // Printer files a killed job left half-written under their hidden names.
  RemoveAbandonedTemporaries(ripIn / "UserPrn");
}

JobLock::~JobLock() {
  if (fd_ >= 0) {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
}

}  // namespace qm
