#include <Magick++.h>
#include <tiffio.h>

#include <cmath>
#include <cstring>

#include "imaging/magick_internal.h"
#include "platform/platform.h"

namespace qm::imaging::detail {

namespace {

void Resolution(const Magick::Image& image, double& x, double& y) {
  const MagickCore::Image* core = image.constImage();
  x = core->x_resolution;
  y = core->y_resolution;
  if (core->units == MagickCore::PixelsPerCentimeterResolution) {
    x *= 2.54;
    y *= 2.54;
  }
  if (x <= 0.0 || y <= 0.0 || core->units == MagickCore::UndefinedResolution) {
    // JFIF "no units" and missing densities: the library's 72 dpi default.
    if (x <= 0.0 || core->units == MagickCore::UndefinedResolution) x = 72.0;
    if (y <= 0.0 || core->units == MagickCore::UndefinedResolution) y = 72.0;
  }
}

bool IsGrey(const Magick::Image& image) {
  MagickCore::ExceptionInfo* exception = MagickCore::AcquireExceptionInfo();
  const bool grey = MagickCore::IsGrayImage(image.constImage(), exception) != MagickCore::MagickFalse;
  MagickCore::DestroyExceptionInfo(exception);
  return grey;
}

// ImageMagick 6 keeps up to five floats a pixel in its cache (colour,
// opacity and CMYK's index channel), and goes to disk when memory runs out:
// a small JPEG whose header claims 65000 x 65000 pixels would fill the disk
// with an 80 GB cache before failing. Images beyond a gigapixel are refused
// from their header; large planes go through libtiff, not through here.
constexpr uint64_t kMaxMagickPixels = uint64_t{1} << 30;

// The image's header only (no pixel decoded).
Magick::Image Pinged(const std::filesystem::path& path) {
  Magick::Image probe;
  try {
    probe.quiet(true);
    probe.ping(path.string());
  } catch (const Magick::Warning&) {
  } catch (const Magick::Exception& e) {
    throw ImagingError("cannot read " + path.string() + ": " + e.what());
  }
  return probe;
}

void RefuseHugeImage(const std::filesystem::path& path) {
  const Magick::Image probe = Pinged(path);
  const uint64_t pixels = uint64_t{probe.columns()} * probe.rows();
  if (pixels > kMaxMagickPixels) {
    throw ImagingError("cannot read " + path.string() + ": " + std::to_string(probe.columns()) + " x " +
                       std::to_string(probe.rows()) + " pixels is too large for this machine (the limit is " +
                       std::to_string(kMaxMagickPixels) + " pixels)");
  }
}

Magick::Image ReadImage(const std::filesystem::path& path) {
  RefuseHugeImage(path);
  Magick::Image image;
  try {
    image.quiet(false);  // warnings are thrown, after the image is read
    image.read(path.string());
  } catch (const Magick::Warning& w) {
    // Warnings (unknown tags, a truncated APP segment) leave a usable image,
    // except a file that ends before its image data does: the decoder fills
    // the rest with grey, which would print as if it were the artwork.
    const std::string text = w.what();
    if (ToLower(text).find("premature end") != std::string::npos) {
      // "program: Premature end of JPEG file `path' @ ...": the reason alone.
      const std::size_t from = text.find(": "), to = text.find(" `");
      const std::string reason =
          from != std::string::npos && to != std::string::npos && to > from ? text.substr(from + 2, to - from - 2) : text;
      throw ImagingError("cannot read " + path.string() + ": it is cut short (" + reason + ")");
    }
  } catch (const Magick::Exception& e) {
    throw ImagingError("cannot read " + path.string() + ": " + e.what());
  }
  if (image.columns() == 0 || image.rows() == 0) throw ImagingError("cannot read " + path.string() + ": empty image");
  return image;
}

}  // namespace

Plane ReadPlaneWithMagick(const std::filesystem::path& path) {
  Magick::Image image = ReadImage(path);
  if (image.colorSpace() == Magick::CMYKColorspace || !IsGrey(image)) {
    throw ImagingError("not a one-channel image: " + path.string());
  }
  Plane plane;
  plane.width = static_cast<uint32_t>(image.columns());
  plane.height = static_cast<uint32_t>(image.rows());
  plane.depth = image.depth() > 8 ? 16 : 8;
  Resolution(image, plane.xResolution, plane.yResolution);
  try {
    plane.pixels.resize(std::size_t{plane.width} * plane.height);
    image.write(0, 0, plane.width, plane.height, "R", Magick::FloatPixel, plane.pixels.data());
  } catch (const std::bad_alloc&) {
    throw ImagingError("not enough memory for the " + std::to_string(plane.width) + " x " +
                       std::to_string(plane.height) + " plane " + path.string() + " (" +
                       MemoryLimitNote(uint64_t{plane.width} * plane.height * sizeof(float)) + ")");
  } catch (const Magick::Exception& e) {
    throw ImagingError("cannot read " + path.string() + ": " + e.what());
  }
  // FloatPixel export is normalised to 0..1.
  for (float& v : plane.pixels) v *= 65535.0f;
  return plane;
}

ImageHeader PingWithMagick(const std::filesystem::path& path) {
  const Magick::Image probe = Pinged(path);
  ImageHeader header;
  header.columns = static_cast<uint32_t>(probe.columns());
  header.rows = static_cast<uint32_t>(probe.rows());
  Resolution(probe, header.xResolution, header.yResolution);
  if (header.columns == 0 || header.rows == 0) throw ImagingError("cannot read " + path.string() + ": empty image");
  return header;
}

struct MagickRows::Impl {
  Magick::Image image;
  std::string map;
};

MagickRows::MagickRows(const std::filesystem::path& path) : impl_(std::make_unique<Impl>()), path_(path) {
  Magick::Image& image = impl_->image;
  image = ReadImage(path);
  TiffRaster& r = header_;
  r.width = static_cast<uint32_t>(image.columns());
  r.height = static_cast<uint32_t>(image.rows());
  r.depth = image.depth() > 8 ? 16 : 8;
  Resolution(image, r.xResolution, r.yResolution);
  std::string& map = impl_->map;
  if (image.colorSpace() == Magick::CMYKColorspace) {
    r.photometric = PHOTOMETRIC_SEPARATED;
    map = "CMYK";
  } else if (IsGrey(image)) {
    r.photometric = PHOTOMETRIC_MINISBLACK;
    map = "R";
  } else {
    if (image.colorSpace() != Magick::sRGBColorspace && image.colorSpace() != Magick::RGBColorspace) {
      image.colorSpace(Magick::sRGBColorspace);
    }
    r.photometric = PHOTOMETRIC_RGB;
    map = "RGB";
  }
  if (image.matte()) {
    map += "A";
    r.extraSamples = {EXTRASAMPLE_UNASSALPHA};
  }
  r.samplesPerPixel = static_cast<uint16_t>(map.size());
  const Magick::Blob profile = image.iccColorProfile();
  if (profile.length() > 0) {
    const auto* bytes = static_cast<const uint8_t*>(profile.data());
    r.iccProfile.assign(bytes, bytes + profile.length());
  }
}

MagickRows::~MagickRows() = default;

void MagickRows::Export(uint32_t y, uint32_t rows, uint8_t* out) const {
  const TiffRaster& r = header_;
  try {
    impl_->image.write(0, y, r.width, rows, impl_->map, r.depth == 16 ? Magick::ShortPixel : Magick::CharPixel, out);
  } catch (const Magick::Exception& e) {
    throw ImagingError("cannot read " + path_.string() + ": " + e.what());
  }
}

TiffRaster ReadRasterWithMagick(const std::filesystem::path& path) {
  const MagickRows rows(path);
  TiffRaster r = rows.header();
  try {
    r.data.resize(r.RowBytes() * r.height);
  } catch (const std::bad_alloc&) {
    throw ImagingError("not enough memory for the " + std::to_string(r.width) + " x " + std::to_string(r.height) +
                       " image " + path.string() + " (" + MemoryLimitNote(uint64_t{r.RowBytes()} * r.height) + ")");
  }
  rows.Export(0, r.height, r.data.data());
  return r;
}

void ResampleWithMagick(Plane& plane, double xResolution, double yResolution) {
  const std::size_t w = static_cast<std::size_t>(std::lround(plane.width * xResolution / plane.xResolution));
  const std::size_t h = static_cast<std::size_t>(std::lround(plane.height * yResolution / plane.yResolution));
  for (float& v : plane.pixels) v /= 65535.0f;
  Magick::Image image;
  image.read(plane.width, plane.height, "I", Magick::FloatPixel, plane.pixels.data());
  const bool grow = static_cast<double>(w) * h > static_cast<double>(plane.width) * plane.height;
  MagickCore::ExceptionInfo* exception = MagickCore::AcquireExceptionInfo();
  MagickCore::Image* resized = MagickCore::ResizeImage(
      image.constImage(), w, h, grow ? MagickCore::MitchellFilter : MagickCore::LanczosFilter, 1.0, exception);
  MagickCore::DestroyExceptionInfo(exception);
  if (resized == nullptr) throw ImagingError("the library's resize failed");
  Magick::Image out(resized);
  plane.pixels.assign(w * h, 0.0f);
  out.write(0, 0, w, h, "I", Magick::FloatPixel, plane.pixels.data());
  for (float& v : plane.pixels) v *= 65535.0f;
  plane.width = static_cast<uint32_t>(w);
  plane.height = static_cast<uint32_t>(h);
  plane.xResolution = xResolution;
  plane.yResolution = yResolution;
}

}  // namespace qm::imaging::detail
