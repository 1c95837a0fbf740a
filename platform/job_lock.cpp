#include "platform/job_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <system_error>
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
  temporaries_ = std::make_unique<JobTemporaries>();
  // Files a killed hot-folder tick left in its batch folder.
  const fs::path customFiles = ripIn / "CustomFiles";
  for (const std::string& name : ListFolder(customFiles, ".*.batch", EntryKind::Folders)) {
    const std::string item = name.substr(1, name.size() - 7);
    if (item.empty() || BatchFolderName(item) != name) continue;
    const BatchReturn back = ReturnBatch(customFiles / name, customFiles / item);
    for (const std::string& file : back.moved) returned_.push_back(item + "/" + file);
    for (const std::string& file : back.renamed) renamed_.push_back(item + "/" + file);
  }
}

std::string BatchFolderName(const std::string& item) { return "." + item + ".batch"; }

BatchReturn ReturnBatch(const fs::path& batch, const fs::path& folder) {
  BatchReturn back;
  std::error_code ec;
  if (!fs::is_directory(batch, ec)) return back;
  CreateFolder(folder);
  for (const std::string& name : ListFolder(batch, "*.*", EntryKind::Files)) {
    const fs::path target = FreeName(folder, name);
    if (!MoveFile(batch / name, target)) continue;  // stays in the batch for the next holder of the lock
    back.moved.push_back(name);
    if (target.filename() != name) back.renamed.push_back(name + " -> " + target.filename().string());
  }
  if (ListFolder(batch, "*", EntryKind::Any).empty()) fs::remove(batch, ec);
  return back;
}

JobLock::~JobLock() {
  temporaries_.reset();  // before the next holder can take the folder
  if (fd_ >= 0) {
    (void)!::ftruncate(fd_, 0);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
}

}  // namespace qm
