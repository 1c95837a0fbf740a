#include "imaging/tiff_raster.h"

#include <cstring>
#include <new>
#include <optional>

#include "imaging/imaging.h"
#include "imaging/tiff_internal.h"
#include "platform/platform.h"

namespace qm::imaging {

uint32_t TiffRaster::Sample(uint32_t x, uint32_t y, int c) const {
  const std::size_t index = (std::size_t{y} * width + x) * samplesPerPixel + c;
  if (depth == 16) {
    uint16_t v;
    std::memcpy(&v, data.data() + index * 2, 2);
    return v;
  }
  return data[index];
}

void TiffRaster::SetSample(uint32_t x, uint32_t y, int c, uint32_t value) {
  const std::size_t index = (std::size_t{y} * width + x) * samplesPerPixel + c;
  if (depth == 16) {
    const uint16_t v = static_cast<uint16_t>(value);
    std::memcpy(data.data() + index * 2, &v, 2);
  } else {
    data[index] = static_cast<uint8_t>(value);
  }
}

bool IsTiffFile(const std::filesystem::path& path) { return detail::LooksLikeTiff(path); }

namespace {

class TiffRows : public RasterRows {
 public:
  explicit TiffRows(const std::filesystem::path& path)
      : file_(path, "r"), layout_(detail::ReadLayout(file_)) {
    switch (layout_.photometric) {
      case PHOTOMETRIC_MINISBLACK:
      case PHOTOMETRIC_MINISWHITE:
      case PHOTOMETRIC_RGB:
      case PHOTOMETRIC_SEPARATED:
        break;
      default:
        file_.Fail("unsupported TIFF photometric interpretation " + std::to_string(layout_.photometric));
    }
    if (layout_.compression == COMPRESSION_OJPEG) file_.Fail("unsupported old-style JPEG TIFF");
    if (layout_.extraSamples.size() >= layout_.samplesPerPixel) file_.Fail("TIFF without colour samples");
    TiffRaster& r = header_;
    r.width = layout_.width;
    r.height = layout_.height;
    r.samplesPerPixel = layout_.samplesPerPixel;
    r.depth = layout_.bitsPerSample;
    r.photometric = layout_.photometric;
    r.extraSamples = layout_.extraSamples;
    r.xResolution = layout_.xResolution;
    r.yResolution = layout_.yResolution;
    uint32_t iccSize = 0;
    void* icc = nullptr;
    if (TIFFGetField(file_.get(), TIFFTAG_ICCPROFILE, &iccSize, &icc) == 1 && icc != nullptr) {
      r.iccProfile.assign(static_cast<uint8_t*>(icc), static_cast<uint8_t*>(icc) + iccSize);
    }
    decoder_.emplace(file_, layout_);  // after the checks, as a whole read does
    detail::CheckStoredSize(file_, layout_, decoder_->RowBytes());
  }
  const TiffRaster& header() const override { return header_; }
  void Export(uint32_t y, uint32_t rows, uint8_t* out) const override { decoder_->Read(y, rows, out); }
  std::size_t RowBytes() const { return decoder_->RowBytes(); }

 private:
  detail::TiffFile file_;
  detail::TiffLayout layout_;
  mutable std::optional<detail::RowDecoder> decoder_;
  TiffRaster header_;
};

}  // namespace

std::unique_ptr<RasterRows> OpenTiffRows(const std::filesystem::path& path) {
  return std::make_unique<TiffRows>(path);
}

TiffRaster ReadTiffRaster(const std::filesystem::path& path) {
  const TiffRows rows(path);
  TiffRaster r = rows.header();
  try {
    r.data.resize(rows.RowBytes() * r.height);
  } catch (const std::bad_alloc&) {
    throw ImagingError("not enough memory for a " + std::to_string(r.width) + " x " +
                       std::to_string(r.height) + " image: " + path.string() + " (" +
                       MemoryLimitNote(uint64_t{rows.RowBytes()} * r.height) + ")");
  }
  rows.Export(0, r.height, r.data.data());
  return r;
}

namespace {

void SetRasterTags(TIFF* tif, const TiffRaster& r, uint32_t rowsPerStrip) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, r.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, r.height);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, r.samplesPerPixel);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(r.depth));
  TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, r.photometric);
  if (r.photometric == PHOTOMETRIC_SEPARATED && r.ColourSamples() == 4) {
    TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
  }
  if (!r.extraSamples.empty()) {
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(r.extraSamples.size()), r.extraSamples.data());
  }
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 1);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(r.xResolution));
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(r.yResolution));
  if (!r.iccProfile.empty()) {
    TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(r.iccProfile.size()), r.iccProfile.data());
  }
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, std::min(rowsPerStrip, r.height));
}

// Strips of about 256 KiB.
uint32_t RowsPerStrip(const TiffRaster& r) {
  return static_cast<uint32_t>(std::max<std::size_t>(1, (256 * 1024) / std::max<std::size_t>(r.RowBytes(), 1)));
}

}  // namespace

void WriteTiffRaster(const std::filesystem::path& path, const TiffRaster& r) {
  if (r.data.size() != r.RowBytes() * r.height) throw ImagingError("raster size mismatch writing " + path.string());
  WriteTiffRasterBands(path, r, [&](uint32_t y, uint32_t rows, uint8_t* out) {
    std::copy_n(r.Row(y), std::size_t{rows} * r.RowBytes(), out);
  });
}

void WriteTiffRasterBands(const std::filesystem::path& path, const TiffRaster& header, const RowBandSource& band) {
  const TiffRaster& r = header;
  if (r.depth != 8 && r.depth != 16) throw ImagingError("cannot write " + std::to_string(r.depth) + "-bit TIFF: " + path.string());
  detail::AtomicPath out(path);
  {
    detail::TiffFile file(out);
    TIFF* tif = file.get();
    const std::size_t rowBytes = r.RowBytes();
    const uint32_t rowsPerStrip = RowsPerStrip(r);
    SetRasterTags(tif, r, rowsPerStrip);
    // Bands of whole strips, about 8 MiB each: the rows are made band by
    // band, so memory grows with the width only.
    const uint32_t stripsPerBand = std::max<uint32_t>(1, static_cast<uint32_t>((8u << 20) / std::max<std::size_t>(rowsPerStrip * rowBytes, 1)));
    const uint32_t bandRows = stripsPerBand * rowsPerStrip;
    std::vector<uint8_t> rows(std::size_t{std::min(bandRows, r.height)} * rowBytes);
    uint32_t strip = 0;
    for (uint32_t y = 0; y < r.height; y += bandRows) {
      const uint32_t n = std::min(bandRows, r.height - y);
      band(y, n, rows.data());
      for (uint32_t k = 0; k < n; k += rowsPerStrip, ++strip) {
        const uint32_t stripRows = std::min(rowsPerStrip, n - k);
        if (TIFFWriteEncodedStrip(tif, strip, rows.data() + std::size_t{k} * rowBytes,
                                  static_cast<tmsize_t>(stripRows * rowBytes)) < 0) {
          file.Fail("cannot write TIFF");
        }
      }
    }
    file.Close();
  }
  out.Commit();
}

}  // namespace qm::imaging
