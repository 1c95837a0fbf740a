// Geometry and tone operations on the one-float-per-pixel plane buffer. They
// stay out of ImageMagick 6, whose cache keeps four floats per pixel.
#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "imaging/imaging.h"
#include "platform/platform.h"
#include "platform/parallel.h"

namespace qm::imaging {

namespace {

std::vector<float> Allocate(std::size_t count, const char* what) {
  try {
    return std::vector<float>(count);
  } catch (const std::bad_alloc&) {
    throw ImagingError(std::string("not enough memory to ") + what + " a plane of " + std::to_string(count) +
                       " pixels (" + MemoryLimitNote(uint64_t{count} * sizeof(float)) + ")");
  }
}

}  // namespace

void Negate(Plane& plane) {
  float* p = plane.pixels.data();
  const std::size_t n = plane.pixels.size();
  ParallelForBlocks(n, std::size_t{1} << 20, [p](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) p[i] = 65535.0f - p[i];
  });
}

void Mirror(Plane& plane) {
  for (uint32_t y = 0; y < plane.height; ++y) std::reverse(plane.Row(y), plane.Row(y) + plane.width);
}

void Rotate(Plane& plane, int degrees) {
  const uint32_t w = plane.width;
  const uint32_t h = plane.height;
  const int turn = ((degrees % 360) + 360) % 360;
  if (turn == 0) return;
  if (turn == 180) {
    std::reverse(plane.pixels.begin(), plane.pixels.end());
    return;
  }
  if (turn != 90 && turn != 270) {
    throw ImagingError("rotation by " + std::to_string(degrees) + " degrees is not a quarter turn");
  }
  std::vector<float> out = Allocate(plane.pixels.size(), "rotate");
  const float* src = plane.pixels.data();
  float* dst = out.data();
  // New image: width h, height w. Clockwise: (x, y) -> (h - 1 - y, x);
  // anticlockwise: (x, y) -> (y, w - 1 - x). Blocked for the cache.
  constexpr uint32_t kBlock = 64;
  const bool clockwise = turn == 90;
  const int64_t blocks = (static_cast<int64_t>(h) + kBlock - 1) / kBlock;
  const int threads = std::size_t{w} * h > (1u << 20) ? HardwareThreads() : 1;
  ParallelFor(static_cast<std::size_t>(blocks), threads, [&](std::size_t index) {
    const auto b = static_cast<int64_t>(index);
    const uint32_t y0 = static_cast<uint32_t>(b) * kBlock;
    const uint32_t y1 = std::min(h, y0 + kBlock);
    for (uint32_t x0 = 0; x0 < w; x0 += kBlock) {
      const uint32_t x1 = std::min(w, x0 + kBlock);
      for (uint32_t y = y0; y < y1; ++y) {
        const float* row = src + std::size_t{y} * w;
        for (uint32_t x = x0; x < x1; ++x) {
          const std::size_t to = clockwise ? std::size_t{x} * h + (h - 1 - y) : std::size_t{w - 1 - x} * h + y;
          dst[to] = row[x];
        }
      }
    }
  });
  plane.pixels.swap(out);
  plane.width = h;
  plane.height = w;
  std::swap(plane.xResolution, plane.yResolution);
}

// ---- Resampling ---------------------------------------------------------------
//
// A separable two-pass filter on the float buffer, with the filters
// ImageMagick's resize picks: Mitchell-Netravali (B = C = 1/3) when the image
// grows, Lanczos 3 when it shrinks; when shrinking the kernel is widened by the
// reduction so every source pixel counts. Each output pixel is a fixed sum in
// a fixed order, so the bytes do not depend on the number of threads. Results
// are clamped to 0..65535 (both filters overshoot at hard edges, and the
// halftoner expects tones in range).
//
// The library's own ResizeImage on a grey image built from the buffer is
// about ten times slower and holds about four times the memory (its cache
// keeps four floats per pixel): bench_imaging's BM_Resample* against
// BM_MagickResample* (the latter through detail::ResampleWithMagick) measure
// both. Hence our own filter.

namespace {

double Sinc(double x) {
  if (x == 0.0) return 1.0;
  const double px = std::numbers::pi * x;
  return std::sin(px) / px;
}

double Mitchell(double x) {
  constexpr double B = 1.0 / 3.0;
  constexpr double C = 1.0 / 3.0;
  x = std::fabs(x);
  if (x < 1.0) {
    return ((12 - 9 * B - 6 * C) * x * x * x + (-18 + 12 * B + 6 * C) * x * x + (6 - 2 * B)) / 6.0;
  }
  if (x < 2.0) {
    return ((-B - 6 * C) * x * x * x + (6 * B + 30 * C) * x * x + (-12 * B - 48 * C) * x + (8 * B + 24 * C)) / 6.0;
  }
  return 0.0;
}

double Lanczos3(double x) {
  x = std::fabs(x);
  return x < 3.0 ? Sinc(x) * Sinc(x / 3.0) : 0.0;
}

// For output indices [firstOut, firstOut + count) of a resize from `in` to
// `out` pixels, the first source index and the normalised weights. The
// weights of an index do not depend on which others are asked for.
struct Contributions {
  std::vector<uint32_t> first;
  std::vector<uint32_t> count;
  std::vector<float> weights;  // `taps` per output index
  uint32_t taps = 0;
};

Contributions Weights(uint32_t in, uint32_t out, bool enlarge, uint32_t firstOut, uint32_t count) {
  const double scale = static_cast<double>(out) / in;
  const double support = enlarge ? 2.0 : 3.0;
  const double stretch = scale < 1.0 ? 1.0 / scale : 1.0;
  const double radius = support * stretch;
  Contributions c;
  c.taps = static_cast<uint32_t>(std::ceil(radius) * 2 + 1);
  c.first.resize(count);
  c.count.resize(count);
  c.weights.assign(std::size_t{count} * c.taps, 0.0f);
  std::vector<double> w(c.taps);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t o = firstOut + i;
    const double centre = (o + 0.5) / scale;  // in source pixel units
    const int64_t lo = std::max<int64_t>(0, static_cast<int64_t>(std::floor(centre - radius + 0.5)));
    const int64_t hi = std::min<int64_t>(in, static_cast<int64_t>(std::floor(centre + radius + 0.5)));
    double sum = 0.0;
    uint32_t n = 0;
    for (int64_t k = lo; k < hi && n < c.taps; ++k, ++n) {
      const double d = (k + 0.5 - centre) / stretch;
      w[n] = enlarge ? Mitchell(d) : Lanczos3(d);
      sum += w[n];
    }
    c.first[i] = static_cast<uint32_t>(lo);
    c.count[i] = n;
    for (uint32_t k = 0; k < n; ++k) {
      c.weights[std::size_t{i} * c.taps + k] = static_cast<float>(sum != 0.0 ? w[k] / sum : (k == 0 ? 1.0 : 0.0));
    }
  }
  return c;
}

// Keeps the taps of every output index inside the source rows [top, top +
// rows) that a band holds, renormalising those that reach past them, and
// makes their first index relative to `top`. Indices whose taps all lie
// inside keep their weights exactly.
void KeepInside(Contributions& c, uint32_t top, uint32_t rows) {
  for (std::size_t i = 0; i < c.first.size(); ++i) {
    float* w = c.weights.data() + i * c.taps;
    const uint32_t lo = c.first[i], hi = c.first[i] + c.count[i];
    const uint32_t from = std::max(lo, top), to = std::min(hi, top + rows);
    if (from == lo && to == hi) {
      c.first[i] = lo - top;
      continue;
    }
    double sum = 0.0;
    for (uint32_t k = from; k < to; ++k) sum += w[k - lo];
    const uint32_t n = to > from ? to - from : 0;
    for (uint32_t k = 0; k < n; ++k) w[k] = sum != 0.0 ? static_cast<float>(w[from - lo + k] / sum) : 0.0f;
    if (n == 0) {  // nothing of it in the band: the nearest row held
      w[0] = 1.0f;
      c.first[i] = lo >= top + rows ? rows - 1 : 0;
      c.count[i] = 1;
      continue;
    }
    for (uint32_t k = n; k < c.taps; ++k) w[k] = 0.0f;
    c.first[i] = from - top;
    c.count[i] = n;
  }
}

float Clamp(float v) { return v < 0.0f ? 0.0f : (v > 65535.0f ? 65535.0f : v); }

// The resampled size, as ImageMagick's resample rounds it; throws when the
// resolutions or the size are unusable.
std::pair<uint32_t, uint32_t> ResampledSize(uint32_t width, uint32_t height, double fromX, double fromY, double toX,
                                            double toY) {
  if (!(toX > 0.0) || !(toY > 0.0) || !(fromX > 0.0) || !(fromY > 0.0)) {
    throw ImagingError("cannot resample to " + std::to_string(toX) + " x " + std::to_string(toY) + " dpi");
  }
  const double nw = std::round(width * toX / fromX);
  const double nh = std::round(height * toY / fromY);
  if (nw < 1.0 || nh < 1.0 || nw > 4.0e9 || nh > 4.0e9) {
    throw ImagingError("resampling gives an unusable size of " + std::to_string(nw) + " x " + std::to_string(nh));
  }
  return {static_cast<uint32_t>(nw), static_cast<uint32_t>(nh)};
}

// One output row of the horizontal pass.
void HorizontalRow(const Contributions& cx, const float* row, float* dst, uint32_t outW) {
  for (uint32_t o = 0; o < outW; ++o) {
    const float* w = cx.weights.data() + std::size_t{o} * cx.taps;
    const float* s = row + cx.first[o];
    float acc = 0.0f;
    for (uint32_t k = 0; k < cx.count[o]; ++k) acc += w[k] * s[k];
    dst[o] = acc;
  }
}

// Output row o of the vertical pass; row(i) is row i of the horizontal pass.
template <typename RowOf>
void VerticalRow(const Contributions& cy, uint32_t o, uint32_t outW, const RowOf& row, float* dst) {
  const float* w = cy.weights.data() + std::size_t{o} * cy.taps;
  std::fill(dst, dst + outW, 0.0f);
  for (uint32_t k = 0; k < cy.count[o]; ++k) {
    const float* s = row(cy.first[o] + k);
    const float wk = w[k];
    for (uint32_t x = 0; x < outW; ++x) dst[x] += wk * s[x];
  }
}

bool Enlarges(uint32_t inW, uint32_t inH, uint32_t outW, uint32_t outH) {
  return static_cast<double>(outW) * outH > static_cast<double>(inW) * inH;
}


// The resampling of a plane of which `plane` holds the source rows [top, top
// + plane.height) of `sourceRows`, producing output rows [firstOut, firstOut
// + outRows) of the whole plane's result (all of them for a whole plane).
void ResampleWindow(Plane& plane, double xResolution, double yResolution, uint32_t top, uint32_t sourceRows,
                    uint32_t firstOut, std::optional<uint32_t> outRows) {
  // Plain variables, not a structured binding: the lambdas below capture
  // them, which clang before 16 refuses for bindings.
  const std::pair<uint32_t, uint32_t> size =
      ResampledSize(plane.width, sourceRows, plane.xResolution, plane.yResolution, xResolution, yResolution);
  const uint32_t outW = size.first, outH = size.second;
  const uint32_t count = outRows.value_or(outH);
  if (firstOut > outH || count > outH - firstOut) throw ImagingError("rows outside the resampled plane");
  const uint32_t inW = plane.width;
  const uint32_t inH = plane.height;  // the rows held
  const bool enlarge = Enlarges(inW, sourceRows, outW, outH);
  // Horizontal pass: inW x inH -> outW x inH.
  std::vector<float> mid;
  if (outW == inW) {
    mid.swap(plane.pixels);
  } else {
    const Contributions cx = Weights(inW, outW, enlarge, 0, outW);
    mid = Allocate(std::size_t{outW} * inH, "resample");
    const float* src = plane.pixels.data();
    ParallelFor(inH, HardwareThreads(),
                [&](std::size_t y) { HorizontalRow(cx, src + y * inW, mid.data() + y * outW, outW); });
    std::vector<float>().swap(plane.pixels);
  }
  // Vertical pass: outW x inH -> outW x count, whole rows at a time.
  if (outH == sourceRows) {
    if (firstOut < top || firstOut + count > top + inH) throw ImagingError("rows outside the band");
    // The rows kept move to the front of the same buffer (a band reuses it).
    if (firstOut != top) {
      std::copy(mid.begin() + std::ptrdiff_t{firstOut - top} * outW,
                mid.begin() + std::ptrdiff_t{firstOut - top + count} * outW, mid.begin());
    }
    mid.resize(std::size_t{count} * outW);
    plane.pixels.swap(mid);
  } else {
    Contributions cy = Weights(sourceRows, outH, enlarge, firstOut, count);
    KeepInside(cy, top, inH);
    std::vector<float> out = Allocate(std::size_t{outW} * count, "resample");
    ParallelFor(count, HardwareThreads(), [&](std::size_t o) {
      VerticalRow(cy, static_cast<uint32_t>(o), outW, [&](uint32_t i) { return mid.data() + std::size_t{i} * outW; },
                  out.data() + o * outW);
    });
    plane.pixels.swap(out);
  }
  if (outW != inW || outH != sourceRows) {
    for (float& v : plane.pixels) v = Clamp(v);
  }
  plane.width = outW;
  plane.height = count;
  plane.xResolution = xResolution;
  plane.yResolution = yResolution;
}

}  // namespace

void Resample(Plane& plane, double xResolution, double yResolution) {
  ResampleWindow(plane, xResolution, yResolution, 0, plane.height, 0, std::nullopt);
}

void ResampleRows(Plane& band, double xResolution, double yResolution, const ResampleRowWindow& window) {
  if (window.top > window.sourceRows || band.height > window.sourceRows - window.top) {
    throw ImagingError("a band of " + std::to_string(band.height) + " rows at row " + std::to_string(window.top) +
                       " does not fit a plane of " + std::to_string(window.sourceRows) + " rows");
  }
  ResampleWindow(band, xResolution, yResolution, window.top, window.sourceRows, window.firstOut, window.outRows);
}

// The vertical pass keeps the horizontal pass's rows in a ring as deep as its
// widest filter: output row o needs rows first[o] .. first[o] + count[o] - 1,
// and both ends grow with o.
struct RowResampler::Weights2D {
  Contributions cx, cy;
};

RowResampler::RowResampler(uint32_t width, uint32_t height, double fromX, double fromY, double toX, double toY)
    : inW_(width), inH_(height) {
  std::tie(outW_, outH_) = ResampledSize(width, height, fromX, fromY, toX, toY);
  if (outW_ == inW_ && outH_ == inH_) return;
  const bool enlarge = Enlarges(inW_, inH_, outW_, outH_);
  weights_ = std::make_unique<Weights2D>();
  if (outW_ != inW_) weights_->cx = Weights(inW_, outW_, enlarge, 0, outW_);
  if (outH_ != inH_) {
    weights_->cy = Weights(inH_, outH_, enlarge, 0, outH_);
    ring_.resize(std::size_t{weights_->cy.taps} * outW_);
  }
  out_.resize(outW_);
}

RowResampler::~RowResampler() = default;

void RowResampler::Push(const float* row, const std::function<void(const float*)>& emit) {
  if (pushed_ >= inH_) throw ImagingError("resampler given more than " + std::to_string(inH_) + " rows");
  if (!weights_) {  // same size: the rows as they are
    ++pushed_;
    emit(row);
    return;
  }
  const Contributions& cy = weights_->cy;
  float* mid = outH_ == inH_ ? out_.data() : ring_.data() + std::size_t{pushed_ % cy.taps} * outW_;
  if (outW_ != inW_) {
    HorizontalRow(weights_->cx, row, mid, outW_);
  } else {
    std::copy(row, row + inW_, mid);
  }
  ++pushed_;
  if (outH_ == inH_) {
    for (float& v : out_) v = Clamp(v);
    ++emitted_;
    emit(out_.data());
    return;
  }
  while (emitted_ < outH_ && cy.first[emitted_] + cy.count[emitted_] <= pushed_) {
    VerticalRow(cy, emitted_, outW_,
                [&](uint32_t i) { return ring_.data() + std::size_t{i % cy.taps} * outW_; }, out_.data());
    for (float& v : out_) v = Clamp(v);
    ++emitted_;
    emit(out_.data());
  }
}

}  // namespace qm::imaging
