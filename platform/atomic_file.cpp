#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/temporaries.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

std::string Cause(const std::string& what, int err) { return what + ": " + std::strerror(err); }

}  // namespace

std::string TemporaryNamePrefix(const fs::path& finalPath) {
  // Room for the suffix ("<pid>-<n>-<stamp>.tmp", at most 45 bytes) within
  // the 255 bytes of a file name: a long name is cut, at a character's
  // start, so a final name of up to 255 bytes still gets its temporary.
  std::string name = finalPath.filename().string();
  constexpr std::size_t kRoom = 255 - 2 - 45;
  if (name.size() > kRoom) {
    std::size_t cut = kRoom;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  return "." + name + ".";
}

StatusOr<std::unique_ptr<AtomicFile>> AtomicFile::Create(const fs::path& finalPath, bool scratch) {
  auto fail = [](std::string cause) { return Status::Fail(std::move(cause)); };
  if (finalPath.filename().empty()) return fail("no file name in " + finalPath.string());
  static std::atomic<uint64_t> counter{0};
  const std::string prefix = TemporaryNamePrefix(finalPath);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const uint64_t stamp = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const fs::path temp = finalPath.parent_path() / (prefix + std::to_string(::getpid()) + "-" +
                                                     std::to_string(counter.fetch_add(1)) + "-" +
                                                     std::to_string(stamp % 1000000) + ".tmp");
    // Registered before it exists, so a signal at any moment finds it.
    const int registered = RegisterTemporary(temp);
    const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      // Held while this writer lives: a later job removes the file only when
      // the lock is free (temporaries.h).
      ::flock(fd, LOCK_EX | LOCK_NB);
      std::unique_ptr<AtomicFile> file(new AtomicFile(fd, finalPath, temp, registered));
      file->scratch_ = scratch;
      return file;
    }
    const int err = errno;
    UnregisterTemporary(registered);
    if (err != EEXIST) return fail(Cause("cannot create " + temp.string(), err));
  }
  return fail("cannot find a free temporary name beside " + finalPath.string());
}

AtomicFile::AtomicFile(int fd, fs::path finalPath, fs::path tempPath, int registered)
    : fd_(fd), finalPath_(std::move(finalPath)), tempPath_(std::move(tempPath)), registered_(registered) {}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Discard() {
  if (committed_) return;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
  UnregisterTemporary(registered_);
  registered_ = -1;
}

Status AtomicFile::Commit() {
  if (committed_) return Status::Ok();
  Status status;
  if (fd_ < 0) {
    status = Status::Fail("commit of " + tempPath_.string() + " after it was discarded");
  } else if (!scratch_ && ::fsync(fd_) != 0) {
    status = Status::Fail(Cause("flush of " + tempPath_.string(), errno));
  } else {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
      status = Status::Fail(Cause("close of " + tempPath_.string(), errno));
    } else if (::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
      status = Status::Fail(Cause("rename of " + tempPath_.string() + " to " + finalPath_.string(), errno));
    }
  }
  if (!status) {
    Discard();
    return status;
  }
  committed_ = true;
  UnregisterTemporary(registered_);
  registered_ = -1;
  if (scratch_) return Status::Ok();
  // The rename itself made durable; a folder that cannot be flushed does not
  // undo a file that is complete and in place.
  const fs::path folder = finalPath_.parent_path().empty() ? fs::path(".") : finalPath_.parent_path();
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return Status::Ok();
}

}  // namespace qm
