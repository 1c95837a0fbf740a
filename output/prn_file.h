// PrnFile: writes one printer file safely, and WritePrnFile, the straight-
// through packer over whole planes.
//
// What holds for all of it:
// - The file is built under a temporary name in the folder of the final
//   name, "." + final name + "." + a unique part + ".tmp", which no "*.pr?"
//   listing matches, so a printer application never sees a half-written file.
//   Commit() renames it over the final name; until then an older file of that
//   name is untouched. A PrnFile destroyed without a successful Commit removes
//   its temporary file; so do SIGINT and SIGTERM in the programs, and the next
//   job on the AppDir when the writer was killed (the writer holds a flock on
//   it: platform/temporaries.h).
// - Every write is checked, short writes included: a full disk or a file size
//   limit is a failure, never success. A failure is sticky: Commit() then
//   fails, removes the temporary file and keeps the older file.
// - Offsets are absolute byte offsets in the file; layout and byte order are
//   those of output/prn_format.h.
// - Error policy: PrnFile::Create returns StatusOr<the file>, WritePrnFile
//   and WritePrnFileRows a Status; the PrnFile's writes return false on
//   failure and keep a one-line description (error()) for the log. Nothing
//   throws, prints or exits.
// - Threads: WriteAt may be called from several threads at once (positional
//   writes, no shared file position); the band renderer writes its rows that
//   way without a lock. Append, WriteHeader, Commit and the destructor belong
//   to one thread and must not overlap WriteAt calls.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "halftone/levels.h"
#include "output/prn_format.h"
#include "platform/atomic_file.h"

namespace qm {

class PrnFile {
 public:
  // Creates the temporary file beside finalPath, or fails with the cause
  // (missing folder, no permission).
  static StatusOr<std::unique_ptr<PrnFile>> Create(const std::filesystem::path& finalPath);
  ~PrnFile();
  PrnFile(const PrnFile&) = delete;
  PrnFile& operator=(const PrnFile&) = delete;

  // The 48 header bytes at offset 0; may come before or after the body.
  bool WriteHeader(const PrnFileHeader& header);

  // Appends bytes at the append position, which starts at 48 (just after the
  // header) and advances by every Append. Buffered; the buffer is written out
  // when full and by Commit.
  bool Append(std::span<const uint8_t> bytes);

  // Writes bytes at an absolute offset, unbuffered (pwrite). Thread-safe
  // against other WriteAt calls.
  bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes);

  // Writes the append buffer, flushes to the disk (fsync), closes and renames
  // the temporary file over the final name. False on any earlier or present
  // failure; the temporary file is then removed and an older file of the
  // final name is kept. With expectedSize (PrnExpectedFileSize of the
  // header), a file of any other size is a failure too: it catches rows that
  // were never written.
  bool Commit(std::optional<uint64_t> expectedSize = std::nullopt);

  bool failed() const { return failed_.load(); }
  std::string error() const;
  const std::filesystem::path& finalPath() const { return file_->finalPath(); }
  // The temporary file while it exists; empty once committed or discarded.
  std::filesystem::path tempPath() const { return committed_ || discarded_ ? std::filesystem::path() : file_->tempPath(); }

 private:
  explicit PrnFile(std::unique_ptr<AtomicFile> file);
  bool WriteFully(uint64_t offset, const uint8_t* data, std::size_t size);
  bool FlushAppendBuffer();
  void Fail(const std::string& what, int err);
  void Fail(const std::string& cause);

  std::unique_ptr<AtomicFile> file_;
  std::vector<uint8_t> buffer_;
  uint64_t appendOffset_ = kPrnHeaderSize;  // file offset of buffer_[0]
  bool committed_ = false;
  bool discarded_ = false;
  std::atomic<bool> failed_{false};
  mutable std::mutex errorMutex_;
  std::string error_;
};

// The temporary name PrnFile uses for finalPath, without its unique part
// (AtomicFile's): the prefix "." + file name + "." (the file ends in ".tmp").
std::string PrnTempNamePrefix(const std::filesystem::path& finalPath);

// The whole straight-through packer: header, then for each row y and each
// position p row y of planes[p], packed with `levels`, then Commit. Every
// plane holds width x height floats, row-major, ink values. Returns false
// when the header cannot be made (bits, channel count), planes.size() is not
// N = header channels, or the file cannot be written.
Status WritePrnFile(const std::filesystem::path& path, uint32_t xResolution, uint32_t yResolution, uint32_t width,
                    uint32_t height, int bits, std::span<const float* const> planes, const DotLevels& levels);

// The same packer over rows given one at a time: `row(y, p)` is row y of
// position p (width ink values), asked for in the file's order (y from 0,
// p from 0 to channels - 1 within each row), so a caller can read its planes
// band by band. The bytes equal WritePrnFile's over the same planes.
using PrnRowSource = std::function<std::span<const float>(uint32_t y, std::size_t p)>;
Status WritePrnFileRows(const std::filesystem::path& path, uint32_t xResolution, uint32_t yResolution,
                        uint32_t width, uint32_t height, int bits, std::size_t channels, const PrnRowSource& row,
                        const DotLevels& levels);

}  // namespace qm
