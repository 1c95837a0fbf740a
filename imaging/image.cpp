// Staged input images. TIFFs are read with libtiff, so every extra sample and
// its ExtraSamples type survive (ImageMagick 6 keeps at most one, as alpha);
// JPEG, layouts libtiff cannot hand over as plain samples and other formats
// go through Magick++.
#include <algorithm>
#include <cmath>

#include <tiffio.h>

#include "imaging/imaging.h"
#include "platform/parallel.h"
#include "imaging/image_raster.h"
#include "imaging/magick_internal.h"
#include "imaging/pdf_writer.h"
#include "imaging/tiff_raster.h"

namespace qm::imaging {

namespace {

bool IsAlpha(uint16_t type) { return type == EXTRASAMPLE_ASSOCALPHA || type == EXTRASAMPLE_UNASSALPHA; }

bool ProfileMatches(const std::vector<uint8_t>& icc, const char* space) {
  return icc.size() >= 20 && std::equal(space, space + 4, icc.begin() + 16);
}

}  // namespace

TiffRaster FlattenAlpha(const TiffRaster& in) {
  const int colours = in.ColourSamples();
  int alphaIndex = -1;
  bool associated = false;
  std::vector<int> keep;  // sample indices of the extras that are kept
  for (std::size_t e = 0; e < in.extraSamples.size(); ++e) {
    const int index = colours + static_cast<int>(e);
    if (IsAlpha(in.extraSamples[e])) {
      if (alphaIndex < 0) {
        alphaIndex = index;
        associated = in.extraSamples[e] == EXTRASAMPLE_ASSOCALPHA;
      }
    } else {
      keep.push_back(index);
    }
  }
  TiffRaster out;
  out.width = in.width;
  out.height = in.height;
  out.depth = in.depth;
  out.photometric = in.photometric == PHOTOMETRIC_MINISWHITE ? PHOTOMETRIC_MINISBLACK : in.photometric;
  out.xResolution = in.xResolution;
  out.yResolution = in.yResolution;
  out.iccProfile = in.iccProfile;
  out.samplesPerPixel = static_cast<uint16_t>(colours + keep.size());
  out.extraSamples.assign(keep.size(), EXTRASAMPLE_UNSPECIFIED);
  out.data.resize(out.RowBytes() * out.height);
  const double max = in.depth == 16 ? 65535.0 : 255.0;
  // White is full tone in grey and RGB, no ink in separated data.
  const bool inkScale = in.photometric == PHOTOMETRIC_SEPARATED;
  const bool inverted = in.photometric == PHOTOMETRIC_MINISWHITE;
  ParallelFor(in.height, HardwareThreads(), [&](std::size_t index) {
    const auto yy = static_cast<int64_t>(index);
    const uint32_t y = static_cast<uint32_t>(yy);
    for (uint32_t x = 0; x < in.width; ++x) {
      const double a = alphaIndex >= 0 ? in.Sample(x, y, alphaIndex) / max : 1.0;
      for (int c = 0; c < colours; ++c) {
        double v = in.Sample(x, y, c);
        if (inverted) v = max - v;
        if (alphaIndex >= 0) {
          if (inkScale) {
            v = associated ? v : v * a;
          } else {
            v = associated ? v + max * (1.0 - a) : v * a + max * (1.0 - a);
          }
        }
        out.SetSample(x, y, c, static_cast<uint32_t>(std::clamp(std::lround(v), 0L, static_cast<long>(max))));
      }
      for (std::size_t k = 0; k < keep.size(); ++k) {
        const uint32_t v = in.Sample(x, y, keep[k]);
        // A spot ink under transparency is no ink.
        out.SetSample(x, y, colours + static_cast<int>(k),
                      alphaIndex >= 0 ? static_cast<uint32_t>(std::lround(v * a)) : v);
      }
    }
  });
  return out;
}

TiffRaster ToCmyk(const TiffRaster& flat) {
  const int colours = flat.ColourSamples();
  if (flat.photometric == PHOTOMETRIC_SEPARATED) {
    if (colours != 4) throw ImagingError("separated image with " + std::to_string(colours) + " inks is not CMYK");
    return flat;
  }
  const int extras = static_cast<int>(flat.extraSamples.size());
  TiffRaster out;
  out.width = flat.width;
  out.height = flat.height;
  out.depth = flat.depth;
  out.photometric = PHOTOMETRIC_SEPARATED;
  out.xResolution = flat.xResolution;
  out.yResolution = flat.yResolution;
  out.samplesPerPixel = static_cast<uint16_t>(4 + extras);
  out.extraSamples = flat.extraSamples;
  out.data.resize(out.RowBytes() * out.height);
  const double max = flat.depth == 16 ? 65535.0 : 255.0;
  const bool rgb = flat.photometric == PHOTOMETRIC_RGB;
  if (!rgb && colours != 1) throw ImagingError("cannot convert this image to CMYK");
  ParallelFor(flat.height, HardwareThreads(), [&](std::size_t index) {
    const auto yy = static_cast<int64_t>(index);
    const uint32_t y = static_cast<uint32_t>(yy);
    for (uint32_t x = 0; x < flat.width; ++x) {
      // The plain conversion of `-colorspace CMYK`: CMY = 1 - RGB, black the
      // common part, the rest rescaled by 1 - K.
      double c, m, yel;
      if (rgb) {
        c = 1.0 - flat.Sample(x, y, 0) / max;
        m = 1.0 - flat.Sample(x, y, 1) / max;
        yel = 1.0 - flat.Sample(x, y, 2) / max;
      } else {
        c = m = yel = 1.0 - flat.Sample(x, y, 0) / max;
      }
      const double k = std::min({c, m, yel});
      if (k >= 1.0 - 1e-12) {
        c = m = yel = 0.0;
      } else {
        c = (c - k) / (1.0 - k);
        m = (m - k) / (1.0 - k);
        yel = (yel - k) / (1.0 - k);
      }
      const double cmyk[4] = {c, m, yel, k};
      for (int i = 0; i < 4; ++i) {
        out.SetSample(x, y, i, static_cast<uint32_t>(std::clamp(std::lround(cmyk[i] * max), 0L, static_cast<long>(max))));
      }
      for (int e = 0; e < extras; ++e) out.SetSample(x, y, 4 + e, flat.Sample(x, y, colours + e));
    }
  });
  return out;
}

struct Image::Impl {
  // The raster's description, and its samples only once the whole is asked
  // for (Raster, WritePdf); otherwise the rows come from `rows` band by band.
  TiffRaster raster;
  std::unique_ptr<RasterRows> rows;

  const TiffRaster& Whole() {
    if (raster.data.empty()) {
      raster.data.resize(raster.RowBytes() * raster.height);
      rows->Export(0, raster.height, raster.data.data());
    }
    return raster;
  }
};

Image::Image(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Image::Image(Image&&) noexcept = default;
Image& Image::operator=(Image&&) noexcept = default;
Image::~Image() = default;

ImageHeader PingImage(const fs::path& path) {
  InitializeImaging();
  return detail::PingWithMagick(path);
}

Image Image::Read(const fs::path& path) {
  auto impl = std::make_unique<Impl>();
  if (IsTiffFile(path)) {
    try {
      impl->rows = OpenTiffRows(path);
    } catch (const ImagingError& tiffError) {
      // Palette, YCbCr, bilevel and the like: the library converts them.
      try {
        impl->rows = std::make_unique<detail::MagickRows>(path);
      } catch (const ImagingError&) {
        throw tiffError;
      }
    }
  } else {
    impl->rows = std::make_unique<detail::MagickRows>(path);
  }
  impl->raster = impl->rows->header();
  return Image(std::move(impl));
}

uint32_t Image::Columns() const { return impl_->raster.width; }
uint32_t Image::Rows() const { return impl_->raster.height; }
double Image::XResolution() const { return impl_->raster.xResolution; }
double Image::YResolution() const { return impl_->raster.yResolution; }

int Image::ChannelCount() const {
  const TiffRaster& r = impl_->raster;
  return r.ColourSamples() + static_cast<int>(std::count_if(r.extraSamples.begin(), r.extraSamples.end(),
                                                            [](uint16_t t) { return !IsAlpha(t); }));
}

int Image::ExtraChannelCount() const { return ChannelCount() - impl_->raster.ColourSamples(); }

const TiffRaster& Image::Raster() const { return impl_->Whole(); }

void Image::WriteCmykTiff(const fs::path& path) const {
  // Converted and written band by band: the converted image is never whole
  // in memory, only the image as read.
  const TiffRaster& in = impl_->raster;
  // Rows of the image as read, band by band from its source.
  const auto band = [&](uint32_t y, uint32_t rows) {
    TiffRaster b = impl_->rows->header();
    b.height = rows;
    b.data.resize(std::size_t{rows} * b.RowBytes());
    impl_->rows->Export(y, rows, b.data.data());
    return b;
  };
  TiffRaster header = ToCmyk(FlattenAlpha(band(0, std::min<uint32_t>(1, in.height))));
  header.data.clear();
  header.height = in.height;
  // Only a CMYK profile still describes the converted samples.
  if (!ProfileMatches(header.iccProfile, "CMYK")) header.iccProfile.clear();
  WriteTiffRasterBands(path, header, [&](uint32_t y, uint32_t rows, uint8_t* out) {
    const TiffRaster cmyk = ToCmyk(FlattenAlpha(band(y, rows)));
    std::copy(cmyk.data.begin(), cmyk.data.end(), out);
  });
}

void Image::WritePdf(const fs::path& path) const {
  TiffRaster flat = FlattenAlpha(impl_->Whole());
  if (!flat.extraSamples.empty()) {
    // Extra channels do not go into the PDF; they are extracted from the
    // CMYK work image instead.
    TiffRaster colour;
    colour.width = flat.width;
    colour.height = flat.height;
    colour.depth = flat.depth;
    colour.photometric = flat.photometric;
    colour.xResolution = flat.xResolution;
    colour.yResolution = flat.yResolution;
    colour.samplesPerPixel = static_cast<uint16_t>(flat.ColourSamples());
    colour.data.resize(colour.RowBytes() * colour.height);
    const std::size_t pixelIn = flat.samplesPerPixel * flat.BytesPerSample();
    const std::size_t pixelOut = colour.samplesPerPixel * colour.BytesPerSample();
    for (std::size_t p = 0; p < std::size_t{flat.width} * flat.height; ++p) {
      std::copy_n(flat.data.data() + p * pixelIn, pixelOut, colour.data.data() + p * pixelOut);
    }
    flat = std::move(colour);
  }
  WriteImagePdf(path, flat);
}

}  // namespace qm::imaging
