// Plane files: grey TIFFs through libtiff (ImageMagick 6 takes about 8.6 s to
// read a 100-megapixel 8-bit plane, libtiff about 1.5 s), other one-channel
// formats through Magick++.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

#include "imaging/imaging.h"
#include "platform/platform.h"
#include "imaging/magick_internal.h"
#include "imaging/tiff_internal.h"

namespace qm::imaging {

namespace {

std::atomic<uint64_t> g_decodedRows{0};

struct OpenPlane {
  detail::TiffFile file;
  detail::TiffLayout layout;
  explicit OpenPlane(const fs::path& path) : file(path, "r"), layout(detail::ReadLayout(file)) {
    if (layout.samplesPerPixel != 1) {
      file.Fail("not a one-channel image (" + std::to_string(layout.samplesPerPixel) + " samples per pixel)");
    }
    if (layout.photometric != PHOTOMETRIC_MINISBLACK && layout.photometric != PHOTOMETRIC_MINISWHITE) {
      file.Fail("not a grey image");
    }
    if (layout.bitsPerSample != 8 && layout.bitsPerSample != 16) {
      file.Fail("unsupported plane sample size " + std::to_string(layout.bitsPerSample) + " bits");
    }
    detail::CheckStoredSize(file, layout, std::size_t{layout.width} * (layout.bitsPerSample / 8));
  }
};

Plane AllocatePlane(const fs::path& path, uint32_t width, uint32_t height) {
  Plane p;
  p.width = width;
  p.height = height;
  try {
    p.pixels.resize(std::size_t{width} * height);
  } catch (const std::bad_alloc&) {
    throw ImagingError("not enough memory for a " + std::to_string(width) + " x " + std::to_string(height) +
                       " plane: " + path.string() + " (" +
                       MemoryLimitNote(uint64_t{width} * height * sizeof(float)) + ")");
  }
  return p;
}

// Decodes rows [first, first + count) into the plane's buffer, as tones 0..65535.
void DecodeRows(OpenPlane& open, uint32_t first, uint32_t count, Plane& plane) {
  detail::RowDecoder decoder(open.file, open.layout);
  const uint32_t width = open.layout.width;
  const bool sixteen = open.layout.bitsPerSample == 16;
  const bool inverted = open.layout.photometric == PHOTOMETRIC_MINISWHITE;
  constexpr uint32_t kChunk = 256;
  std::vector<uint8_t> raw(decoder.RowBytes() * std::min(kChunk, count));
  for (uint32_t done = 0; done < count; done += kChunk) {
    const uint32_t n = std::min(kChunk, count - done);
    decoder.Read(first + done, n, raw.data());
    for (uint32_t r = 0; r < n; ++r) {
      float* dst = plane.Row(done + r);
      const uint8_t* src = raw.data() + r * decoder.RowBytes();
      if (sixteen) {
        const auto* s16 = reinterpret_cast<const uint16_t*>(src);
        for (uint32_t x = 0; x < width; ++x) dst[x] = static_cast<float>(inverted ? 65535 - s16[x] : s16[x]);
      } else {
        for (uint32_t x = 0; x < width; ++x) dst[x] = static_cast<float>((inverted ? 255 - src[x] : src[x]) * 257);
      }
    }
    g_decodedRows.fetch_add(n, std::memory_order_relaxed);
  }
}

void CopyInfo(const detail::TiffLayout& l, Plane& p) {
  p.xResolution = l.xResolution;
  p.yResolution = l.yResolution;
  p.depth = l.bitsPerSample;
}

}  // namespace

Plane ReadPlane(const fs::path& path) {
  if (!detail::LooksLikeTiff(path)) return detail::ReadPlaneWithMagick(path);
  OpenPlane open(path);
  Plane plane = AllocatePlane(path, open.layout.width, open.layout.height);
  CopyInfo(open.layout, plane);
  DecodeRows(open, 0, open.layout.height, plane);
  return plane;
}

PlaneInfo ReadPlaneInfo(const fs::path& path) {
  if (!detail::LooksLikeTiff(path)) {
    const Plane p = detail::ReadPlaneWithMagick(path);
    return {p.width, p.height, p.xResolution, p.yResolution, p.depth};
  }
  OpenPlane open(path);
  const auto& l = open.layout;
  return {l.width, l.height, l.xResolution, l.yResolution, l.bitsPerSample};
}

Plane ReadPlaneRows(const fs::path& path, uint32_t firstRow, uint32_t count) {
  OpenPlane open(path);
  if (firstRow > open.layout.height || count > open.layout.height - firstRow) {
    open.file.Fail("rows " + std::to_string(firstRow) + "+" + std::to_string(count) + " outside the plane of " +
                   std::to_string(open.layout.height) + " rows in");
  }
  Plane plane = AllocatePlane(path, open.layout.width, count);
  CopyInfo(open.layout, plane);
  DecodeRows(open, firstRow, count, plane);
  return plane;
}

uint64_t DecodedRowCount() { return g_decodedRows.load(std::memory_order_relaxed); }

void WritePlane(const fs::path& path, const Plane& plane, int depth) {
  if (depth != 8 && depth != 16) throw ImagingError("cannot write a " + std::to_string(depth) + "-bit plane: " + path.string());
  if (plane.width == 0 || plane.height == 0 || plane.pixels.size() != std::size_t{plane.width} * plane.height) {
    throw ImagingError("cannot write an empty or inconsistent plane: " + path.string());
  }
  detail::AtomicPath out(path);
  {
    detail::TiffFile file(out.temp(), "w");
    TIFF* tif = file.get();
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, plane.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, plane.height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t{1});
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(depth));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    // Deflate at its fastest level: halftoned planes (a few levels) shrink
    // well and it costs little next to the halftoner.
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 1);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(plane.xResolution));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(plane.yResolution));
    const std::size_t rowBytes = std::size_t{plane.width} * (depth / 8);
    const uint32_t rowsPerStrip =
        std::min<uint32_t>(plane.height, static_cast<uint32_t>(std::max<std::size_t>(1, (256 * 1024) / rowBytes)));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    std::vector<uint8_t> strip(rowBytes * rowsPerStrip);
    for (uint32_t s = 0, y = 0; y < plane.height; ++s, y += rowsPerStrip) {
      const uint32_t rows = std::min(rowsPerStrip, plane.height - y);
      for (uint32_t r = 0; r < rows; ++r) {
        const float* src = plane.Row(y + r);
        if (depth == 16) {
          auto* dst = reinterpret_cast<uint16_t*>(strip.data() + r * rowBytes);
          for (uint32_t x = 0; x < plane.width; ++x) {
            const float v = src[x];
            dst[x] = v >= 65535.0f ? 65535 : (v > 0.0f ? static_cast<uint16_t>(v + 0.5f) : 0);
          }
        } else {
          uint8_t* dst = strip.data() + r * rowBytes;
          for (uint32_t x = 0; x < plane.width; ++x) {
            const float v = src[x] / 257.0f;
            dst[x] = v >= 255.0f ? 255 : (v > 0.0f ? static_cast<uint8_t>(v + 0.5f) : 0);
          }
        }
      }
      if (TIFFWriteEncodedStrip(tif, s, strip.data(), static_cast<tmsize_t>(rows * rowBytes)) < 0) {
        file.Fail("cannot write plane");
      }
    }
    file.Close();
  }
  out.Commit();
}

}  // namespace qm::imaging
