#include "output/prn_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/temporaries.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kAppendBufferSize = 1 << 20;

std::string ErrnoText(int err) { return std::strerror(err); }

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

}  // namespace

std::string PrnTempNamePrefix(const fs::path& finalPath) {
  return "." + finalPath.filename().string() + ".";
}

std::unique_ptr<PrnFile> PrnFile::Create(const fs::path& finalPath, std::string* error) {
  if (finalPath.filename().empty()) {
    SetError(error, "no file name in " + finalPath.string());
    return nullptr;
  }
  static std::atomic<uint64_t> counter{0};
  const fs::path folder = finalPath.parent_path();
  const std::string prefix = PrnTempNamePrefix(finalPath);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const uint64_t stamp =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const std::string unique = std::to_string(::getpid()) + "-" +
                               std::to_string(counter.fetch_add(1)) + "-" +
                               std::to_string(stamp % 1000000);
    const fs::path temp = folder / (prefix + unique + ".tmp");
    // Registered before it exists, so a signal at any moment finds it.
    const int registered = RegisterTemporary(temp);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      // Held while this writer lives: a later job removes the file only
      // when the lock is free (platform/temporaries.h).
      ::flock(fd, LOCK_EX | LOCK_NB);
      return std::unique_ptr<PrnFile>(new PrnFile(fd, finalPath, temp, registered));
    }
    UnregisterTemporary(registered);
    if (errno != EEXIST) {
      SetError(error, "cannot create " + temp.string() + ": " + ErrnoText(errno));
      return nullptr;
    }
  }
  SetError(error, "cannot find a free temporary name beside " + finalPath.string());
  return nullptr;
}

PrnFile::PrnFile(int fd, fs::path finalPath, fs::path tempPath, int registered)
    : fd_(fd), finalPath_(std::move(finalPath)), tempPath_(std::move(tempPath)), registered_(registered) {
  buffer_.reserve(kAppendBufferSize);
}

PrnFile::~PrnFile() {
  if (!committed_) Discard();
}

void PrnFile::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }
  UnregisterTemporary(registered_);
  registered_ = -1;
}

void PrnFile::Fail(const std::string& what, int err) {
  std::lock_guard<std::mutex> lock(errorMutex_);
  if (!failed_.exchange(true)) error_ = what + ": " + ErrnoText(err);
}

std::string PrnFile::error() const {
  std::lock_guard<std::mutex> lock(errorMutex_);
  return error_;
}

bool PrnFile::WriteFully(uint64_t offset, const uint8_t* data, std::size_t size) {
  if (fd_ < 0) {
    Fail("write to " + finalPath_.string() + " after it was closed", EBADF);
    return false;
  }
  while (size > 0) {
    const ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("write to " + tempPath_.string() + " at offset " + std::to_string(offset), errno);
      return false;
    }
    if (n == 0) {
      Fail("write to " + tempPath_.string() + " at offset " + std::to_string(offset), ENOSPC);
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool PrnFile::WriteHeader(const PrnFileHeader& header) {
  const auto bytes = SerializePrnHeader(header);
  return WriteAt(0, bytes);
}

bool PrnFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
  return WriteFully(offset, bytes.data(), bytes.size());
}

bool PrnFile::FlushAppendBuffer() {
  if (buffer_.empty()) return true;
  const bool ok = WriteFully(appendOffset_, buffer_.data(), buffer_.size());
  appendOffset_ += buffer_.size();
  buffer_.clear();
  return ok;
}

bool PrnFile::Append(std::span<const uint8_t> bytes) {
  if (failed_.load()) return false;
  if (buffer_.size() + bytes.size() > kAppendBufferSize) {
    if (!FlushAppendBuffer()) return false;
    if (bytes.size() >= kAppendBufferSize) {
      const bool ok = WriteFully(appendOffset_, bytes.data(), bytes.size());
      appendOffset_ += bytes.size();
      return ok;
    }
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  return true;
}

bool PrnFile::Commit(std::optional<uint64_t> expectedSize) {
  if (committed_) return !failed_.load();
  bool ok = FlushAppendBuffer() && !failed_.load();
  if (ok && expectedSize) {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      Fail("size of " + tempPath_.string(), errno);
      ok = false;
    } else if (static_cast<uint64_t>(st.st_size) != *expectedSize) {
      std::lock_guard<std::mutex> lock(errorMutex_);
      failed_ = true;
      error_ = tempPath_.string() + " holds " + std::to_string(st.st_size) + " bytes, not " +
               std::to_string(*expectedSize);
      ok = false;
    }
  }
  if (ok && ::fsync(fd_) != 0) {
    Fail("flush of " + tempPath_.string(), errno);
    ok = false;
  }
  if (ok) {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
      Fail("close of " + tempPath_.string(), errno);
      ok = false;
    }
  }
  if (ok && ::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
    Fail("rename of " + tempPath_.string() + " to " + finalPath_.string(), errno);
    ok = false;
  }
  if (!ok) {
    Discard();
    return false;
  }
  tempPath_.clear();
  UnregisterTemporary(registered_);
  registered_ = -1;
  committed_ = true;
  // Make the rename itself durable; a folder that cannot be synced does not
  // undo a file that is complete and in place.
  const fs::path folder = finalPath_.parent_path().empty() ? fs::path(".") : finalPath_.parent_path();
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

bool WritePrnFile(const fs::path& path, uint32_t xResolution, uint32_t yResolution,
                  uint32_t width, uint32_t height, int bits,
                  std::span<const float* const> planes, const DotLevels& levels,
                  std::string* error) {
  const auto header = MakePrnHeader(xResolution, yResolution, width, height,
                                    static_cast<uint32_t>(planes.size()), bits);
  if (!header) {
    SetError(error, "no PRN header for bits " + std::to_string(bits) + " and " +
                        std::to_string(planes.size()) + " channels");
    return false;
  }
  auto file = PrnFile::Create(path, error);
  if (!file) return false;
  std::vector<uint8_t> row(header->rowStride);
  bool ok = file->WriteHeader(*header);
  for (uint32_t y = 0; ok && y < height; ++y) {
    for (const float* plane : planes) {
      const std::span<const float> pixels(plane + static_cast<std::size_t>(y) * width, width);
      PackPrnRow(pixels, bits, levels, row);
      if (!file->Append(row)) {
        ok = false;
        break;
      }
    }
  }
  ok = ok && file->Commit(PrnExpectedFileSize(*header));
  if (!ok) SetError(error, file->error());
  return ok;
}

}  // namespace qm
