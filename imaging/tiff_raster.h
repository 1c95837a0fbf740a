// imaging/tiff_raster: a whole TIFF image with every sample it stores, read and
// written through libtiff (ImageMagick 6 drops TIFF extra samples or turns
// the first one into alpha). Used for the CMYK work image and by our `magick`.
//
// Samples are interleaved, rows tightly packed, 8 bits or 16 bits (host order)
// each. Same error policy as imaging.h: failures throw ImagingError.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace qm::imaging {

struct TiffRaster {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t samplesPerPixel = 1;
  int depth = 8;                         // 8 or 16
  uint16_t photometric = 1;              // PHOTOMETRIC_* (1 min-is-black, 2 RGB, 5 separated)
  std::vector<uint16_t> extraSamples;    // ExtraSamples type of each extra sample (0 unspecified,
                                         // 1 associated alpha, 2 unassociated alpha)
  double xResolution = 72.0;
  double yResolution = 72.0;
  std::vector<uint8_t> iccProfile;       // embedded profile, empty when none
  std::vector<uint8_t> data;

  int ColourSamples() const { return samplesPerPixel - static_cast<int>(extraSamples.size()); }
  std::size_t BytesPerSample() const { return depth == 16 ? 2 : 1; }
  std::size_t RowBytes() const { return std::size_t{width} * samplesPerPixel * BytesPerSample(); }
  uint8_t* Row(uint32_t y) { return data.data() + y * RowBytes(); }
  const uint8_t* Row(uint32_t y) const { return data.data() + y * RowBytes(); }
  // Sample c of pixel x in row y, on the file's scale (0..255 or 0..65535).
  uint32_t Sample(uint32_t x, uint32_t y, int c) const;
  void SetSample(uint32_t x, uint32_t y, int c, uint32_t value);
};

bool IsTiffFile(const std::filesystem::path& path);

// The first image of a TIFF file. 8 or 16 bits unsigned, any photometric
// libtiff decodes without colour conversion (grey, RGB, separated);
// palette, YCbCr-subsampled and other layouts throw.
TiffRaster ReadTiffRaster(const std::filesystem::path& path);

// A source of raster rows read on demand, band by band, so a large image is
// never whole in memory.
class RasterRows {
 public:
  virtual ~RasterRows() = default;
  // The raster's description; its data is empty.
  virtual const TiffRaster& header() const = 0;
  // Rows [y, y + rows) into `out` (rows x header().RowBytes() bytes).
  virtual void Export(uint32_t y, uint32_t rows, uint8_t* out) const = 0;
};

// The first image of a TIFF file as ReadTiffRaster reads it (the same checks
// up front), its rows decoded when asked for.
std::unique_ptr<RasterRows> OpenTiffRows(const std::filesystem::path& path);

// Writes the raster (Deflate, resolution unit inch, the ICC profile when
// present, InkSet CMYK for 4-colour separated data) through a temporary file
// and a rename, so a failed write never loses the old file of that name.
void WriteTiffRaster(const std::filesystem::path& path, const TiffRaster& raster);

// The same file from rows made band by band: `header` describes the image
// (its data is not read), and `band(y, rows, out)` fills rows [y, y + rows)
// into `out` (rows x RowBytes bytes), in order from the top. The file's
// bytes equal those WriteTiffRaster writes for the same rows.
using RowBandSource = std::function<void(uint32_t y, uint32_t rows, uint8_t* out)>;
void WriteTiffRasterBands(const std::filesystem::path& path, const TiffRaster& header, const RowBandSource& band);

}  // namespace qm::imaging
