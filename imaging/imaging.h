// imaging: the one adapter over the image libraries (Magick++ 6 Q16 HDRI, and
// libtiff for plane files and TIFF extra channels). Nothing else includes them.
//
// Units: tones are floats on 0..65535; a Plane is width x height floats,
// row-major, owned by the Plane. Resolutions are pixels per inch.
//
// Error policy: every failure of a library (unreadable file, corrupt data,
// resource limits, a failed write) is thrown as ImagingError naming the file;
// callers turn it into a failure of their job. Nothing here ends the process.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/status.h"

namespace qm::imaging {

namespace fs = std::filesystem;

struct TiffRaster;  // imaging/tiff_raster.h

class ImagingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where this layer's exceptions end, at its callers' edge: `fn` (returning
// Status) runs, and an exception it lets out becomes a failed Status with
// its message.
template <typename Fn>
Status CatchImaging(Fn&& fn) {
  try {
    return fn();
  } catch (const std::exception& e) {
    return Status::Fail(e.what());
  }
}

// Puts the project's resource policy in force (MAGICK_CONFIGURE_PATH, before
// the library starts) and starts the library. Safe to call more than once.
void InitializeImaging();
// The folder of that policy: AppDir/etc/quillmark/ (policy.xml inside).
fs::path PolicyDir();

// ---- Planes: single-channel rasters -----------------------------------------

struct Plane {
  uint32_t width = 0;
  uint32_t height = 0;
  double xResolution = 72.0;
  double yResolution = 72.0;
  int depth = 8;  // bits per sample of the file it came from (8 or 16)
  std::vector<float> pixels;

  float* Row(uint32_t y) { return pixels.data() + static_cast<std::size_t>(y) * width; }
  const float* Row(uint32_t y) const { return pixels.data() + static_cast<std::size_t>(y) * width; }
};

struct PlaneInfo {
  uint32_t width = 0;
  uint32_t height = 0;
  double xResolution = 72.0;
  double yResolution = 72.0;
  int depth = 8;
};

// Reads a one-channel image (a plane TIFF, through libtiff; other formats
// through Magick++). A multi-channel image is an error.
Plane ReadPlane(const fs::path& path);
PlaneInfo ReadPlaneInfo(const fs::path& path);
// Reads rows [firstRow, firstRow + count) of a plane TIFF only (for bands).
Plane ReadPlaneRows(const fs::path& path, uint32_t firstRow, uint32_t count);
// The same into `into`, whose buffer is reused when it is large enough.
void ReadPlaneRows(const fs::path& path, uint32_t firstRow, uint32_t count, Plane& into);
// ReadPlaneRows for one plane read a step at a time: the file stays open and
// the caller's buffer is filled, with no allocation per step. Plane TIFFs only.
class PlaneRowReader {
 public:
  explicit PlaneRowReader(const fs::path& path);
  ~PlaneRowReader();
  PlaneRowReader(const PlaneRowReader&) = delete;
  PlaneRowReader& operator=(const PlaneRowReader&) = delete;
  const PlaneInfo& Info() const { return info_; }
  // Rows [first, first + count) into `out`, count x width tones.
  void Read(uint32_t first, uint32_t count, float* out);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  PlaneInfo info_;
};

// Rows decoded by ReadPlane, ReadPlaneRows and PlaneRowReader since the process started.
uint64_t DecodedRowCount();

// Writes a grey TIFF of `depth` bits (8 or 16) with the plane's resolution.
void WritePlane(const fs::path& path, const Plane& plane, int depth);

// WritePlane for a plane that comes in rows: the same file, written through a
// temporary name that takes the final one at Commit (never when a row is
// missing); dropped without Commit, it leaves nothing.
class PlaneWriter {
 public:
  PlaneWriter(const fs::path& path, uint32_t width, uint32_t height, double xResolution, double yResolution,
              int depth);
  ~PlaneWriter();
  PlaneWriter(const PlaneWriter&) = delete;
  PlaneWriter& operator=(const PlaneWriter&) = delete;
  void WriteRow(const float* row);  // `width` tones, rows top to bottom
  // `count` rows of an 8-bit plane as stored (0 for black): the bytes
  // WriteRow writes for their tones x 257.
  void WriteRawRows(const uint8_t* rows, uint32_t count);
  void Commit();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Writes the plane file `from` turned by a quarter turn (90 clockwise, -90 or
// 270 anticlockwise) to `to`, never holding more than one band of 256 source
// rows: the turned plane is written in tiles of 256 x 64, uncompressed, with
// the source's samples as stored (depth and photometric kept) and the
// resolutions swapped. Its tones are those Rotate gives the whole plane. A
// plane still growing is turned as its rows arrive.
void TurnPlaneFile(const fs::path& from, const fs::path& to, int degrees);

void Negate(Plane& plane);                    // 65535 - v
void Rotate(Plane& plane, int degrees);       // 90 (clockwise), -90, 180
void Mirror(Plane& plane);                    // left to right: column x takes column width - 1 - x
// Resamples to the resolution pair, as ImageMagick's resample does: the new
// size is the old one times new/old resolution in each direction, rounded.
void Resample(Plane& plane, double xResolution, double yResolution);

// A band of a plane: it holds the source rows [top, top + its height) of a
// plane of sourceRows rows, and is to give the output rows [firstOut,
// firstOut + outRows) of that whole plane's Resample.
struct ResampleRowWindow {
  uint32_t top = 0;
  uint32_t sourceRows = 0;
  uint32_t firstOut = 0;
  uint32_t outRows = 0;
};
// Resamples a band in the whole plane's coordinates: each output row has the
// filter taps and weights it has in Resample of the whole plane, so a row
// whose taps all lie in the band has exactly the value the whole plane gives
// it (no shift, whatever the scale). Taps that fall outside the band are left
// out and the rest renormalised. The band becomes outRows rows.
void ResampleRows(Plane& band, double xResolution, double yResolution, const ResampleRowWindow& window);
// Resample for a plane that arrives in rows (still being rendered, or never
// held whole): rows pushed top to bottom give the rows Resample gives the whole
// plane, bit for bit, each as soon as the source rows under its filter are in.
// Holds as many rows as the widest vertical filter. One thread at a time.
class RowResampler {
 public:
  RowResampler(uint32_t width, uint32_t height, double fromX, double fromY, double toX, double toY);
  ~RowResampler();
  RowResampler(const RowResampler&) = delete;
  RowResampler& operator=(const RowResampler&) = delete;

  uint32_t OutputWidth() const { return outW_; }
  uint32_t OutputHeight() const { return outH_; }
  // Takes the next source row (`width` tones); calls `emit` with every output
  // row it completes, in order (the row is valid during the call). After the
  // last source row every output row has been emitted.
  void Push(const float* row, const std::function<void(const float*)>& emit);

 private:
  struct Weights2D;
  uint32_t inW_, inH_, outW_ = 0, outH_ = 0;
  uint32_t pushed_ = 0, emitted_ = 0;
  std::unique_ptr<Weights2D> weights_;
  std::vector<float> ring_, out_;
};

// ---- Whole images (staged input) --------------------------------------------

// The size and resolution of an image file from its header alone (no pixel
// is decoded): what a job needs to judge its size before reading it.
struct ImageHeader {
  uint32_t columns = 0, rows = 0;
  double xResolution = 72.0, yResolution = 72.0;  // dpi; 72 when the file has none
};
ImageHeader PingImage(const fs::path& path);

// A staged input image: JPEG, TIFF (with any extra channels) or any format the
// library reads, except PDF.
class Image {
 public:
  static Image Read(const fs::path& path);
  Image(Image&&) noexcept;
  Image& operator=(Image&&) noexcept;
  ~Image();

  uint32_t Columns() const;
  uint32_t Rows() const;
  double XResolution() const;
  double YResolution() const;
  // Colour channels plus extra channels that are not alpha (a CMYK TIFF with
  // two spot channels gives 6; RGBA gives 3).
  int ChannelCount() const;
  // The extra channels that are not alpha (ChannelCount minus the colour
  // channels): the spot channels of a TIFF, 0 for JPEG.
  int ExtraChannelCount() const;
  // The samples as read (colour, then every extra sample with its type).
  const TiffRaster& Raster() const;

  // The image as a CMYK TIFF "00.tif": colour converted to CMYK, resolution
  // unit inch, alpha flattened onto white, every extra channel kept.
  void WriteCmykTiff(const fs::path& path) const;
  // The image as a one-page PDF (Flate-compressed DeviceCMYK, DeviceRGB or
  // DeviceGray XObject, page sized from pixels and resolution).
  void WritePdf(const fs::path& path) const;

 private:
  struct Impl;
  explicit Image(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace qm::imaging
