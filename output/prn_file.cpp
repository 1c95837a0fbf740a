#include "output/prn_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/atomic_file.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kAppendBufferSize = 1 << 20;

std::string ErrnoText(int err) { return std::strerror(err); }

}  // namespace

std::string PrnTempNamePrefix(const fs::path& finalPath) { return TemporaryNamePrefix(finalPath); }

StatusOr<std::unique_ptr<PrnFile>> PrnFile::Create(const fs::path& finalPath) {
  auto file = AtomicFile::Create(finalPath);
  if (!file) return file.status();
  return std::unique_ptr<PrnFile>(new PrnFile(std::move(file.value())));
}

PrnFile::PrnFile(std::unique_ptr<AtomicFile> file) : file_(std::move(file)) { buffer_.reserve(kAppendBufferSize); }

PrnFile::~PrnFile() = default;

void PrnFile::Fail(const std::string& what, int err) { Fail(what + ": " + ErrnoText(err)); }

void PrnFile::Fail(const std::string& cause) {
  std::lock_guard<std::mutex> lock(errorMutex_);
  if (!failed_.exchange(true)) error_ = cause;
}

std::string PrnFile::error() const {
  std::lock_guard<std::mutex> lock(errorMutex_);
  return error_;
}

bool PrnFile::WriteFully(uint64_t offset, const uint8_t* data, std::size_t size) {
  const int fd = file_->fd();
  if (fd < 0) {
    Fail("write to " + finalPath().string() + " after it was closed", EBADF);
    return false;
  }
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("write to " + tempPath().string() + " at offset " + std::to_string(offset), errno);
      return false;
    }
    if (n == 0) {
      Fail("write to " + tempPath().string() + " at offset " + std::to_string(offset), ENOSPC);
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
    if (::fstat(file_->fd(), &st) != 0) {
      Fail("size of " + tempPath().string(), errno);
      ok = false;
    } else if (static_cast<uint64_t>(st.st_size) != *expectedSize) {
      Fail(tempPath().string() + " holds " + std::to_string(st.st_size) + " bytes, not " +
           std::to_string(*expectedSize));
      ok = false;
    }
  }
  if (ok) {
    if (const Status status = file_->Commit(); !status) {
      Fail(status.cause());
      ok = false;
    }
  }
  if (!ok) {
    file_->Discard();
    discarded_ = true;
    return false;
  }
  committed_ = true;
  return true;
}

Status WritePrnFile(const fs::path& path, uint32_t xResolution, uint32_t yResolution, uint32_t width,
                    uint32_t height, int bits, std::span<const float* const> planes, const DotLevels& levels) {
  return WritePrnFileRows(
      path, xResolution, yResolution, width, height, bits, planes.size(),
      [&](uint32_t y, std::size_t p) {
        return std::span<const float>(planes[p] + static_cast<std::size_t>(y) * width, width);
      },
      levels);
}

Status WritePrnFileRows(const fs::path& path, uint32_t xResolution, uint32_t yResolution, uint32_t width,
                        uint32_t height, int bits, std::size_t channels, const PrnRowSource& source,
                        const DotLevels& levels) {
  const auto header = MakePrnHeader(xResolution, yResolution, width, height, static_cast<uint32_t>(channels), bits);
  if (!header) {
    return Status::Fail("no PRN header for bits " + std::to_string(bits) + " and " + std::to_string(channels) +
                        " channels");
  }
  auto created = PrnFile::Create(path);
  if (!created) return created.status();
  const auto& file = created.value();
  std::vector<uint8_t> row(header->rowStride);
  bool ok = file->WriteHeader(*header);
  for (uint32_t y = 0; ok && y < height; ++y) {
    for (std::size_t p = 0; p < channels; ++p) {
      PackPrnRow(source(y, p), bits, levels, row);
      if (!file->Append(row)) {
        ok = false;
        break;
      }
    }
  }
  ok = ok && file->Commit(PrnExpectedFileSize(*header));
  return ok ? Status::Ok() : Status::Fail(file->error());
}

}  // namespace qm
