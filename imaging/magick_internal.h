// Internal to imaging/: the parts that go through Magick++ 6.
#pragma once

#include <filesystem>
#include <memory>

#include "imaging/imaging.h"
#include "imaging/tiff_raster.h"

namespace qm::imaging::detail {

// A one-channel (grey) image of any format the library reads.
Plane ReadPlaneWithMagick(const std::filesystem::path& path);

// Any image the library reads as an 8- or 16-bit raster: grey (min-is-black),
// RGB or CMYK (separated, with an Adobe-inverted CMYK JPEG already undone by
// the library), plus one unassociated alpha sample when the image has alpha.
TiffRaster ReadRasterWithMagick(const std::filesystem::path& path);

// The same image held by the library (its pixel cache on disk when large,
// see policy.xml), its rows exported on demand: the raster of a large photo
// is never whole in memory.
class MagickRows : public RasterRows {
 public:
  explicit MagickRows(const std::filesystem::path& path);
  ~MagickRows() override;
  MagickRows(const MagickRows&) = delete;
  MagickRows& operator=(const MagickRows&) = delete;
  // The raster's description; its data is empty.
  const TiffRaster& header() const override { return header_; }
  // Rows [y, y + rows) as raster rows (rows x header().RowBytes() bytes).
  void Export(uint32_t y, uint32_t rows, uint8_t* out) const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  TiffRaster header_;
  std::filesystem::path path_;
};
ImageHeader PingWithMagick(const std::filesystem::path& path);

// The library's own resize (Mitchell when growing, Lanczos when shrinking)
// on a grey image built from the buffer: the comparison for Resample.
void ResampleWithMagick(Plane& plane, double xResolution, double yResolution);

}  // namespace qm::imaging::detail
