#include "imaging/growing_plane.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>

#include "imaging/imaging.h"
#include "imaging/tiff_internal.h"

namespace qm::imaging {

namespace {

// The gates of the growing planes, by the file's device and inode, so that a
// plane renamed or moved on its file system is still found. An inode cannot
// be reused while its plane is registered: the writer keeps the file open.
struct Registry {
  std::mutex mutex;
  std::map<std::pair<dev_t, ino_t>, std::shared_ptr<RowGate>> gates;
};
Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

std::string ErrnoText() { return std::strerror(errno); }

// Little-endian TIFF pieces.
void Put16(std::vector<uint8_t>& b, std::size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Resolution as a TIFF rational: whole values as n/1, others to 1/1000.
std::pair<uint32_t, uint32_t> Rational(double v) {
  if (v == std::floor(v) && v > 0 && v < 4.0e9) return {static_cast<uint32_t>(v), 1};
  return {static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 4.0e6) * 1000.0)), 1000};
}

// An uncompressed band whose strips lie one after the other, as Ghostscript
// writes them, is the plane's rows byte for byte: the kernel copies them
// (copy_file_range) without a pass through this process. False when the
// band is stored otherwise, or the file system cannot copy (then the rows
// are decoded and written).
bool CopyStoredRows(const detail::TiffFile& file, const detail::TiffLayout& l, uint64_t to, int toFd,
                    std::size_t rowBytes) {
  TIFF* tif = file.get();
  if (l.compression != COMPRESSION_NONE || l.tiled || l.height == 0 || (l.bitsPerSample > 8 && TIFFIsByteSwapped(tif))) {
    return false;
  }
  const uint32_t strips = TIFFNumberOfStrips(tif);
  uint64_t* offsets = nullptr;
  uint64_t* counts = nullptr;
  uint32_t rowsPerStrip = 0;
  if (TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets) != 1 || TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts) != 1 ||
      offsets == nullptr || counts == nullptr || strips == 0) {
    return false;
  }
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  const uint64_t size = uint64_t{rowBytes} * l.height;
  uint64_t total = 0;
  for (uint32_t i = 0; i < strips; ++i) {
    const uint64_t rows = std::min<uint64_t>(rowsPerStrip, l.height - std::min<uint64_t>(l.height, uint64_t{i} * rowsPerStrip));
    if (counts[i] != rows * rowBytes || offsets[i] != offsets[0] + total) return false;
    total += counts[i];
  }
  struct stat st {};
  const int fromFd = TIFFFileno(tif);
  if (total != size || ::fstat(fromFd, &st) != 0 || offsets[0] + size > static_cast<uint64_t>(st.st_size)) return false;
  auto in = static_cast<off_t>(offsets[0]);
  auto out = static_cast<off_t>(to);
  uint64_t left = size;
  while (left > 0) {
    const ssize_t n = ::copy_file_range(fromFd, &in, toFd, &out, left, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (left == size) return false;  // nothing copied: the rows are decoded instead
      throw ImagingError("cannot copy rows into a plane: " + ErrnoText());
    }
    left -= static_cast<uint64_t>(n);
  }
  return true;
}

}  // namespace

void RowGate::Complete(uint32_t first, uint32_t count) {
  {
    std::lock_guard lock(mutex_);
    rows_.emplace_back(first, first + count);
    std::sort(rows_.begin(), rows_.end());
    std::vector<std::pair<uint32_t, uint32_t>> merged;
    for (const auto& r : rows_) {
      if (!merged.empty() && r.first <= merged.back().second) {
        merged.back().second = std::max(merged.back().second, r.second);
      } else {
        merged.push_back(r);
      }
    }
    rows_.swap(merged);
  }
  changed_.notify_all();
}

void RowGate::Fail(const std::string& reason) {
  {
    std::lock_guard lock(mutex_);
    if (failure_.empty()) failure_ = reason.empty() ? "the rendering failed" : reason;
  }
  changed_.notify_all();
}

bool RowGate::Covered(uint32_t first, uint32_t end) const {
  for (const auto& r : rows_) {
    if (r.first <= first && end <= r.second) return true;
  }
  return first >= end;
}

void RowGate::Wait(uint32_t first, uint32_t count) const {
  std::unique_lock lock(mutex_);
  const uint32_t end = std::min(height_, first + count);
  changed_.wait(lock, [&] { return !failure_.empty() || Covered(first, end); });
  if (!failure_.empty()) throw ImagingError(failure_);
}

bool RowGate::Done() const {
  std::lock_guard lock(mutex_);
  return failure_.empty() && Covered(0, height_);
}

GrowingPlane::GrowingPlane(const std::filesystem::path& path, uint32_t height, const std::filesystem::path& like,
                           std::shared_ptr<RowGate> gate)
    : path_(path), gate_(std::move(gate)), height_(height) {
  detail::TiffFile band(like, "r");
  const detail::TiffLayout l = detail::ReadLayout(band);
  if (l.samplesPerPixel != 1 || (l.bitsPerSample != 8 && l.bitsPerSample != 16) ||
      (l.photometric != PHOTOMETRIC_MINISBLACK && l.photometric != PHOTOMETRIC_MINISWHITE)) {
    band.Fail("not a grey 8- or 16-bit plane");
  }
  width_ = l.width;
  depth_ = l.bitsPerSample;
  minIsWhite_ = l.photometric == PHOTOMETRIC_MINISWHITE;
  Create(l.xResolution, l.yResolution);
}

GrowingPlane::GrowingPlane(const std::filesystem::path& path, uint32_t height, const GrowingLayout& layout,
                           std::shared_ptr<RowGate> gate)
    : path_(path), gate_(std::move(gate)), width_(layout.width), height_(height), depth_(8), minIsWhite_(false) {
  if (width_ == 0) throw ImagingError("a growing plane without columns: " + path.string());
  Create(layout.xResolution, layout.yResolution);
}

void GrowingPlane::Create(double xResolution, double yResolution) {
  const std::filesystem::path& path = path_;
  {
    rowBytes_ = std::size_t{width_} * (depth_ / 8);
    // Header, one directory of 13 entries, the strip tables and the two
    // resolutions, then the rows from a page boundary on, top to bottom.
    const uint32_t rowsPerStrip =
        std::clamp<uint32_t>(static_cast<uint32_t>((256 * 1024) / rowBytes_), 1, std::max<uint32_t>(height_, 1));
    const uint32_t strips = (height_ + rowsPerStrip - 1) / rowsPerStrip;
    constexpr uint32_t kEntries = 13;
    const uint32_t ifd = 8, tables = ifd + 2 + kEntries * 12 + 4;
    const uint32_t offsets = tables, counts = offsets + 4 * strips, xres = counts + 4 * strips, yres = xres + 8;
    dataOffset_ = (uint64_t{yres} + 8 + 4095) / 4096 * 4096;
    if (dataOffset_ + uint64_t{rowBytes_} * height_ > 0xFFFFFFFFull) {
      throw ImagingError("plane too large for a growing TIFF: " + path.string());
    }
    std::vector<uint8_t> head(static_cast<std::size_t>(dataOffset_), 0);
    head[0] = head[1] = 'I';
    Put16(head, 2, 42);
    Put32(head, 4, ifd);
    Put16(head, ifd, kEntries);
    std::size_t at = ifd + 2;
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
      Put16(head, at, tag);
      Put16(head, at + 2, type);
      Put32(head, at + 4, count);
      if (type == 3 && count == 1) {
        Put16(head, at + 8, value);
      } else {
        Put32(head, at + 8, value);
      }
      at += 12;
    };
    const uint32_t stripBytes = static_cast<uint32_t>(rowBytes_ * rowsPerStrip);
    entry(256, 4, 1, width_);
    entry(257, 4, 1, height_);
    entry(258, 3, 1, static_cast<uint32_t>(depth_));
    entry(259, 3, 1, 1);  // no compression
    entry(262, 3, 1, minIsWhite_ ? 0 : 1);
    entry(273, 4, strips, strips == 1 ? static_cast<uint32_t>(dataOffset_) : offsets);
    entry(277, 3, 1, 1);
    entry(278, 4, 1, rowsPerStrip);
    entry(279, 4, strips, strips == 1 ? static_cast<uint32_t>(rowBytes_ * height_) : counts);
    entry(282, 5, 1, xres);
    entry(283, 5, 1, yres);
    entry(284, 3, 1, 1);  // contiguous
    entry(296, 3, 1, 2);  // inch
    for (uint32_t s = 0; s < strips && strips > 1; ++s) {
      const uint32_t rows = std::min(rowsPerStrip, height_ - s * rowsPerStrip);
      Put32(head, offsets + 4 * s, static_cast<uint32_t>(dataOffset_ + uint64_t{s} * stripBytes));
      Put32(head, counts + 4 * s, static_cast<uint32_t>(rows * rowBytes_));
    }
    const auto [xn, xd] = Rational(xResolution);
    const auto [yn, yd] = Rational(yResolution);
    Put32(head, xres, xn);
    Put32(head, xres + 4, xd);
    Put32(head, yres, yn);
    Put32(head, yres + 4, yd);

    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) throw ImagingError("cannot create " + path.string() + ": " + ErrnoText());
    WriteAt(0, head.data(), head.size());
    if (::ftruncate(fd_, static_cast<off_t>(dataOffset_ + uint64_t{rowBytes_} * height_)) != 0) {
      throw ImagingError("cannot size " + path.string() + ": " + ErrnoText());
    }
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw ImagingError("cannot stat " + path.string() + ": " + ErrnoText());
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.gates[{st.st_dev, st.st_ino}] = gate_;
}

GrowingPlane::~GrowingPlane() {
  if (fd_ < 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) == 0) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    r.gates.erase({st.st_dev, st.st_ino});
  }
  ::close(fd_);
}

void GrowingPlane::WriteAt(uint64_t offset, const uint8_t* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd_, bytes, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw ImagingError("cannot write " + path_.string() + ": " + ErrnoText());
    bytes += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
}

void GrowingPlane::CopyRows(uint32_t first, const std::filesystem::path& band) {
  detail::TiffFile file(band, "r");
  const detail::TiffLayout l = detail::ReadLayout(file);
  if (l.width != width_ || l.bitsPerSample != depth_ || l.samplesPerPixel != 1 ||
      (l.photometric == PHOTOMETRIC_MINISWHITE) != minIsWhite_) {
    file.Fail("band plane differs in width, depth or photometric from " + path_.filename().string() + " in");
  }
  if (first > height_ || l.height > height_ - first) file.Fail("band rows fall outside " + path_.filename().string() + " in");
  if (CopyStoredRows(file, l, dataOffset_ + uint64_t{first} * rowBytes_, fd_, rowBytes_)) return;
  detail::RowDecoder decoder(file, l);
  constexpr uint32_t kChunk = 64;
  std::vector<uint8_t> rows(rowBytes_ * std::min(kChunk, l.height));
  for (uint32_t done = 0; done < l.height; done += kChunk) {
    const uint32_t n = std::min(kChunk, l.height - done);
    decoder.Read(done, n, rows.data());
    WriteAt(dataOffset_ + uint64_t{first + done} * rowBytes_, rows.data(), n * rowBytes_);
  }
}

void GrowingPlane::CopyRawRows(uint32_t first, uint32_t count, int fromFd, uint64_t offset) {
  if (first > height_ || count > height_ - first) throw ImagingError("raw rows fall outside " + path_.string());
  auto in = static_cast<off_t>(offset);
  auto out = static_cast<off_t>(dataOffset_ + uint64_t{first} * rowBytes_);
  uint64_t left = uint64_t{count} * rowBytes_;
  while (left > 0) {
    const ssize_t n = ::copy_file_range(fromFd, &in, fd_, &out, left, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0) {
      left -= static_cast<uint64_t>(n);
      continue;
    }
    if (n == 0) throw ImagingError("raw rows end early for " + path_.string());
    // A file system that cannot copy within the kernel: through a buffer.
    std::vector<uint8_t> chunk(std::min<uint64_t>(left, 1 << 20));
    while (left > 0) {
      const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(left, chunk.size()));
      const ssize_t got = ::pread(fromFd, chunk.data(), want, in);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) throw ImagingError("cannot read raw rows for " + path_.string() + ": " + ErrnoText());
      WriteAt(static_cast<uint64_t>(out), chunk.data(), static_cast<std::size_t>(got));
      in += got;
      out += got;
      left -= static_cast<uint64_t>(got);
    }
  }
}

void GrowingPlane::BlankRows(uint32_t first, uint32_t count) {
  if (first > height_ || count > height_ - first) throw ImagingError("blank rows outside " + path_.string());
  // Paper white: the largest value where the smallest is black, else 0.
  const std::vector<uint8_t> row(rowBytes_, minIsWhite_ ? 0 : 0xFF);
  for (uint32_t y = first; y < first + count; ++y) WriteAt(dataOffset_ + uint64_t{y} * rowBytes_, row.data(), rowBytes_);
}

bool IsGrowing(const std::filesystem::path& path) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  if (r.gates.empty()) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  const auto it = r.gates.find({st.st_dev, st.st_ino});
  return it != r.gates.end() && !it->second->Done();
}

namespace detail {

void WaitForRows(int fd, uint32_t first, uint32_t count) {
  std::shared_ptr<RowGate> gate;
  {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    if (r.gates.empty()) return;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return;
    const auto it = r.gates.find({st.st_dev, st.st_ino});
    if (it == r.gates.end()) return;
    gate = it->second;
  }
  gate->Wait(first, count);
}

}  // namespace detail

}  // namespace qm::imaging
