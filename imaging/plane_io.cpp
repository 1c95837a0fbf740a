// Plane files: grey TIFFs through libtiff (ImageMagick 6 takes about 8.6 s to
// read a 100-megapixel 8-bit plane, libtiff about 1.5 s), other one-channel
// formats through Magick++.
#include <emmintrin.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

#include "imaging/growing_plane.h"
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
  // Read without mapping the file ("rm"): a plane is read once, in order, and
  // a mapping costs a page fault per page (and a reader that stays open
  // would keep every page it touched mapped).
  explicit OpenPlane(const fs::path& path) : file(path, "rm"), layout(detail::ReadLayout(file)) {
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

// Decodes rows [first, first + count) into `out` (count x width floats), as
// tones 0..65535; `raw` is the decoder's scratch, kept by callers that read
// again.
void DecodeRows(OpenPlane& open, detail::RowDecoder& decoder, std::vector<uint8_t>& raw, uint32_t first,
                uint32_t count, float* out) {
  const uint32_t width = open.layout.width;
  const bool sixteen = open.layout.bitsPerSample == 16;
  const bool inverted = open.layout.photometric == PHOTOMETRIC_MINISWHITE;
  constexpr uint32_t kChunk = 256;
  raw.resize(decoder.RowBytes() * std::min(kChunk, count));
  for (uint32_t done = 0; done < count; done += kChunk) {
    const uint32_t n = std::min(kChunk, count - done);
    decoder.Read(first + done, n, raw.data());
    for (uint32_t r = 0; r < n; ++r) {
      float* dst = out + std::size_t{done + r} * width;
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

void DecodeRows(OpenPlane& open, uint32_t first, uint32_t count, Plane& plane) {
  detail::RowDecoder decoder(open.file, open.layout);
  std::vector<uint8_t> raw;
  DecodeRows(open, decoder, raw, first, count, plane.pixels.data());
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
  detail::WaitForRows(TIFFFileno(open.file.get()), 0, open.layout.height);
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
  Plane plane;
  ReadPlaneRows(path, firstRow, count, plane);
  return plane;
}

void ReadPlaneRows(const fs::path& path, uint32_t firstRow, uint32_t count, Plane& into) {
  OpenPlane open(path);
  if (firstRow > open.layout.height || count > open.layout.height - firstRow) {
    open.file.Fail("rows " + std::to_string(firstRow) + "+" + std::to_string(count) + " outside the plane of " +
                   std::to_string(open.layout.height) + " rows in");
  }
  detail::WaitForRows(TIFFFileno(open.file.get()), firstRow, count);
  try {
    into.pixels.resize(std::size_t{open.layout.width} * count);
  } catch (const std::bad_alloc&) {
    throw ImagingError("not enough memory for a " + std::to_string(open.layout.width) + " x " +
                       std::to_string(count) + " plane: " + path.string());
  }
  into.width = open.layout.width;
  into.height = count;
  CopyInfo(open.layout, into);
  DecodeRows(open, firstRow, count, into);
}

struct PlaneRowReader::Impl {
  explicit Impl(const fs::path& p) : path(p), open(p), decoder(open.file, open.layout) {}
  fs::path path;
  OpenPlane open;
  detail::RowDecoder decoder;
  std::vector<uint8_t> raw;
};

PlaneRowReader::PlaneRowReader(const fs::path& path) {
  if (!detail::LooksLikeTiff(path)) throw ImagingError("not a TIFF plane: " + path.string());
  impl_ = std::make_unique<Impl>(path);
  const auto& l = impl_->open.layout;
  info_ = {l.width, l.height, l.xResolution, l.yResolution, l.bitsPerSample};
}

PlaneRowReader::~PlaneRowReader() = default;

void PlaneRowReader::Read(uint32_t first, uint32_t count, float* out) {
  if (first > info_.height || count > info_.height - first) {
    impl_->open.file.Fail("rows " + std::to_string(first) + "+" + std::to_string(count) +
                          " outside the plane of " + std::to_string(info_.height) + " rows in");
  }
  detail::WaitForRows(TIFFFileno(impl_->open.file.get()), first, count);
  DecodeRows(impl_->open, impl_->decoder, impl_->raw, first, count, out);
}

uint64_t DecodedRowCount() { return g_decodedRows.load(std::memory_order_relaxed); }

// The strips of a written plane: rows of about 256 KiB, Deflate at its fastest
// level (halftoned planes, a few levels, shrink well and it costs little next
// to the halftoner).
namespace {

// Tones to 8-bit samples: v / 257 rounded half up, 255 from 255 on, 0 at
// or below 0 (and for NaN). Sixteen at a time with the same single-precision
// division and addition, then the rest one by one.
// 16-bit samples: v + 0.5 limited to 0..65535 and truncated, the same word
// as the scalar rule below, four at a time and without branches (a halftoned
// row's levels follow no pattern a branch predictor could learn).
void ToWords(const float* src, uint16_t* dst, uint32_t width) {
  uint32_t x = 0;
  const __m128 zero = _mm_setzero_ps(), full = _mm_set1_ps(65535.0f), half = _mm_set1_ps(0.5f);
  // Words of 0..65535 through the signed pack: 32768 below, then the top bit flipped.
  const __m128i bias = _mm_set1_epi32(32768), flip = _mm_set1_epi16(static_cast<int16_t>(0x8000));
  const auto four = [&](const float* p) {
    const __m128 t = _mm_add_ps(_mm_min_ps(_mm_max_ps(_mm_loadu_ps(p), zero), full), half);
    return _mm_sub_epi32(_mm_cvttps_epi32(t), bias);
  };
  for (; x + 8 <= width; x += 8) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x),
                     _mm_xor_si128(_mm_packs_epi32(four(src + x), four(src + x + 4)), flip));
  }
  for (; x < width; ++x) {
    const float v = src[x];
    dst[x] = v >= 65535.0f ? 65535 : (v > 0.0f ? static_cast<uint16_t>(v + 0.5f) : 0);
  }
}

void ToBytes(const float* src, uint8_t* dst, uint32_t width) {
  uint32_t x = 0;
  const __m128 divisor = _mm_set1_ps(257.0f), half = _mm_set1_ps(0.5f), zero = _mm_setzero_ps(),
               top = _mm_set1_ps(255.0f);
  // (v / 257 + 0.5) limited to 0..255 and truncated: the same byte as the
  // scalar rule below (_mm_max_ps gives its second operand, 0, for NaN).
  const auto four = [&](const float* p) {
    const __m128 t = _mm_add_ps(_mm_div_ps(_mm_loadu_ps(p), divisor), half);
    return _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(t, zero), top));
  };
  for (; x + 16 <= width; x += 16) {
    const __m128i low = _mm_packs_epi32(four(src + x), four(src + x + 4));
    const __m128i high = _mm_packs_epi32(four(src + x + 8), four(src + x + 12));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_packus_epi16(low, high));
  }
  for (; x < width; ++x) {
    const float v = src[x] / 257.0f;
    dst[x] = v >= 255.0f ? 255 : (v > 0.0f ? static_cast<uint8_t>(v + 0.5f) : 0);
  }
}

}  // namespace

struct PlaneWriter::Impl {
  Impl(const fs::path& path, uint32_t w, uint32_t h, double xRes, double yRes, int d)
      : out(path), file(out), width(w), height(h), depth(d) {
    TIFF* tif = file.get();
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t{1});
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(depth));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 1);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(xRes));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(yRes));
    rowBytes = std::size_t{width} * (depth / 8);
    rowsPerStrip = std::min<uint32_t>(height, static_cast<uint32_t>(std::max<std::size_t>(1, (256 * 1024) / rowBytes)));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    strip.resize(rowBytes * rowsPerStrip);
  }

  void Add(const float* src) {
    uint8_t* at = strip.data() + rowsInStrip * rowBytes;
    if (depth == 16) {
      ToWords(src, reinterpret_cast<uint16_t*>(at), width);
    } else {
      ToBytes(src, at, width);
    }
    EndRow();
  }

  void AddRaw(const uint8_t* src, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
      std::copy(src + std::size_t{i} * rowBytes, src + std::size_t{i + 1} * rowBytes,
                strip.data() + rowsInStrip * rowBytes);
      EndRow();
    }
  }

  void EndRow() {
    ++rows;
    if (++rowsInStrip == rowsPerStrip || rows == height) {
      if (TIFFWriteEncodedStrip(file.get(), stripIndex++, strip.data(), static_cast<tmsize_t>(rowsInStrip * rowBytes)) <
          0) {
        file.Fail("cannot write plane");
      }
      rowsInStrip = 0;
    }
  }

  detail::AtomicPath out;
  detail::TiffFile file;
  uint32_t width, height;
  int depth;
  std::size_t rowBytes = 0;
  uint32_t rowsPerStrip = 1, rowsInStrip = 0, rows = 0, stripIndex = 0;
  std::vector<uint8_t> strip;
};

PlaneWriter::PlaneWriter(const fs::path& path, uint32_t width, uint32_t height, double xResolution,
                         double yResolution, int depth) {
  if (depth != 8 && depth != 16) throw ImagingError("cannot write a " + std::to_string(depth) + "-bit plane: " + path.string());
  if (width == 0 || height == 0) throw ImagingError("cannot write an empty plane: " + path.string());
  impl_ = std::make_unique<Impl>(path, width, height, xResolution, yResolution, depth);
}

PlaneWriter::~PlaneWriter() = default;

void PlaneWriter::WriteRow(const float* row) {
  if (impl_->rows == impl_->height) throw ImagingError("more rows than the plane has: " + impl_->out.temp().string());
  impl_->Add(row);
}

void PlaneWriter::WriteRawRows(const uint8_t* rows, uint32_t count) {
  if (impl_->depth != 8) throw ImagingError("raw 8-bit rows for a 16-bit plane: " + impl_->out.temp().string());
  if (count > impl_->height - impl_->rows) throw ImagingError("more rows than the plane has: " + impl_->out.temp().string());
  impl_->AddRaw(rows, count);
}

void PlaneWriter::Commit() {
  if (impl_->rows != impl_->height) {
    throw ImagingError("plane left with " + std::to_string(impl_->rows) + " of " + std::to_string(impl_->height) +
                       " rows: " + impl_->out.temp().string());
  }
  impl_->file.Close();
  impl_->out.Commit();
}

void WritePlane(const fs::path& path, const Plane& plane, int depth) {
  if (plane.pixels.size() != std::size_t{plane.width} * plane.height) {
    throw ImagingError("cannot write an empty or inconsistent plane: " + path.string());
  }
  PlaneWriter writer(path, plane.width, plane.height, plane.xResolution, plane.yResolution, depth);
  for (uint32_t y = 0; y < plane.height; ++y) writer.WriteRow(plane.Row(y));
  writer.Commit();
}

}  // namespace qm::imaging
