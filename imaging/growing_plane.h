// Plane files that are read while their rows are still being written: the
// Ghostscript bands of a page land in one plane file per ink as each band ends,
// and the raster work already reads the rows that are in.
//
// A GrowingPlane is an uncompressed grey TIFF whose header and size are final
// from the start; its rows are copied in from band files as the bands end. A
// RowGate, shared by the planes of one rendering, records which rows are in.
// Every read through this layer (ReadPlane, ReadPlaneRows) of a file that is
// still growing first waits until its rows are in, or throws ImagingError with
// the gate's failure, so no reader ever takes a missing row for a white or a
// black one. Code that reads the files by other means (copies, external
// tools) must wait for the gate itself (RowGate::WaitAll).
//
// Thread safety: a gate is shared by the writing thread and any number of
// readers. A GrowingPlane belongs to its writer.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qm::imaging {

class RowGate {
 public:
  explicit RowGate(uint32_t height) : height_(height) {}
  uint32_t Height() const { return height_; }
  // Rows [first, first + count) of every plane of the gate are written.
  void Complete(uint32_t first, uint32_t count);
  // The rendering failed: waiting and later readers throw ImagingError(reason).
  void Fail(const std::string& reason);
  // Waits until rows [first, first + count) are in; throws on failure.
  void Wait(uint32_t first, uint32_t count) const;
  void WaitAll() const { Wait(0, height_); }
  bool Done() const;

 private:
  bool Covered(uint32_t first, uint32_t end) const;
  const uint32_t height_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::pair<uint32_t, uint32_t>> rows_;  // written [begin, end), sorted, merged
  std::string failure_;
};

// The geometry of a plane made from raw 8-bit rows, 0 for full ink.
struct GrowingLayout {
  uint32_t width = 0;
  double xResolution = 72, yResolution = 72;
};

class GrowingPlane {
 public:
  // Creates `path` (replacing any file of that name) as a plane of `height`
  // rows with the width, depth, photometric and resolution of the band file
  // `like`, and makes every read of it wait on `gate`.
  GrowingPlane(const std::filesystem::path& path, uint32_t height, const std::filesystem::path& like,
               std::shared_ptr<RowGate> gate);
  // The same for 8-bit rows that come raw (CopyRawRows).
  GrowingPlane(const std::filesystem::path& path, uint32_t height, const GrowingLayout& layout,
               std::shared_ptr<RowGate> gate);
  ~GrowingPlane();
  GrowingPlane(const GrowingPlane&) = delete;
  GrowingPlane& operator=(const GrowingPlane&) = delete;

  // Copies every row of the plane file `band` (any TIFF layout, same width,
  // depth and photometric) into rows first.. of this plane.
  void CopyRows(uint32_t first, const std::filesystem::path& band);
  // Rows [first, first + count) from `count` rows of `width` bytes stored at
  // `offset` in the file open as `fromFd` (copied within the kernel).
  void CopyRawRows(uint32_t first, uint32_t count, int fromFd, uint64_t offset);
  // Rows [first, first + count) as paper white (no ink).
  void BlankRows(uint32_t first, uint32_t count);
  const std::filesystem::path& Path() const { return path_; }

 private:
  void Create(double xResolution, double yResolution);
  void WriteAt(uint64_t offset, const uint8_t* bytes, std::size_t size);
  std::filesystem::path path_;
  std::shared_ptr<RowGate> gate_;
  int fd_ = -1;
  uint32_t width_ = 0, height_ = 0;
  int depth_ = 8;
  bool minIsWhite_ = false;
  uint64_t dataOffset_ = 0;
  std::size_t rowBytes_ = 0;
};

// Whether `path` is a plane with rows still to come.
bool IsGrowing(const std::filesystem::path& path);

namespace detail {
// Waits on the gate of a growing plane open as `fd`, if it is one.
void WaitForRows(int fd, uint32_t first, uint32_t count);
}  // namespace detail

}  // namespace qm::imaging
