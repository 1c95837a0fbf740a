// HalftonePlane: the curve, the noise pass and the serpentine error diffusion.
// The scan itself is in diffusion_scan.inc, compiled here once per
// instruction set.
#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "halftone/halftone.h"

namespace qm {

namespace {

constexpr float kNoiseFloor = 300.0f;
constexpr float kNoiseGain = 8192.0f;
constexpr float kBias = 0.5f;  // added to every share of the three-row kernel

struct Thresholds {
  float upper;   // Tu, between U and 65535
  float middle;  // Tm, between D and U
  float lower;   // Ts, between 0 and D
};

Thresholds MakeThresholds(const DotLevels& levels, float middleDotDilution, float largeDotDilution) {
  const int32_t u = levels.large;
  const int32_t d = levels.middle;
  const float keepLarge = 1.0f - largeDotDilution;
  const float keepMiddle = 1.0f - middleDotDilution;
  Thresholds t;
  t.upper = static_cast<float>((static_cast<double>(keepLarge) * (65535 - u) + u) * 0.5 + 32767.5);
  t.middle = static_cast<float>((static_cast<double>(u - d) * keepMiddle + (u + d)) * 0.5);
  t.lower = static_cast<float>(d * 0.5);
  return t;
}

// The draws of the scan's random stream, each in the forms the methods use:
// method 0's weight shift r + 3, methods 1 to 3's threshold jitter, and
// method 1's one-in-four test as a lane mask.
struct Draws {
  const int32_t* shift;
  const float* jitter;
  const int32_t* quarter;
};

// Draws taken ahead from the plane's stream in blocks; the scan takes them in
// stream order, as many as its pixels use.
class DrawQueue {
 public:
  DrawQueue(RandomSource& random, int32_t method) : random_(random), method_(method) {}

  // Makes at least n draws available from the returned index on. The queue
  // holds at most max(2n, 4096) of them.
  std::size_t Reserve(std::size_t n) {
    if (end_ - next_ >= n) return next_;
    const std::size_t kept = end_ - next_;
    const std::size_t size = std::max<std::size_t>(2 * n, 4096);
    raw_.resize(size);
    std::copy(raw_.begin() + next_, raw_.begin() + end_, raw_.begin());
    random_.Fill(raw_.data() + kept, size - kept);
    const uint32_t* raw = reinterpret_cast<const uint32_t*>(raw_.data());  // 0..32767
    if (method_ == 0) {
      shift_.resize(size);
      for (std::size_t i = 0; i < size; ++i) shift_[i] = int32_t(raw[i] % 7);
    } else {
      jitter_.resize(size);
      for (std::size_t i = 0; i < size; ++i) {
        jitter_[i] = float(method_ == 1   ? int32_t(raw[i] % 2001) - 1000
                           : method_ == 2 ? int32_t(raw[i] % 2500)
                                          : int32_t(raw[i] % 3001) - 1500);
      }
    }
    if (method_ == 1) {
      quarter_.resize(size);
      for (std::size_t i = 0; i < size; ++i) quarter_[i] = raw[i] % 4 != 0 ? -1 : 0;
    }
    next_ = 0;
    end_ = size;
    return next_;
  }
  // The draws before index k have been used.
  void TakeUpTo(std::size_t k) { next_ = k; }
  Draws draws() const { return {shift_.data(), jitter_.data(), quarter_.data()}; }

 private:
  RandomSource& random_;
  int32_t method_;
  std::vector<int32_t> raw_, shift_, quarter_;
  std::vector<float> jitter_;
  std::size_t next_ = 0, end_ = 0;
};

// Levels, thresholds and weights of one HalftonePlane call, in the forms the
// scan uses.
struct ScanLevels {
  __m128 d, u;            // D and U in every lane
  __m128 levels;          // (0, D, U, 65535)
  __m128 ts, tm, tu;      // the thresholds in every lane
  float halfMiddle;       // D / 2, truncated, for method 1
  __m128 bWeights, cWeights, ruleBelow;
  // Method 0's weights for each r + 3: ahead by one and two, the row below.
  float ahead1[7], ahead2[7];
  alignas(16) float below[7][4];
  double ahead1d[7], ahead2d[7];
  alignas(16) double belowPair[7][2];  // back-below and below

  ScanLevels(int32_t method, const DotLevels& dots, const Thresholds& t) {
    const float lower = float(dots.middle), upper = float(dots.large);
    d = _mm_set1_ps(lower);
    u = _mm_set1_ps(upper);
    levels = _mm_setr_ps(0.0f, lower, upper, kFullTone);
    ts = _mm_set1_ps(t.lower);
    tm = _mm_set1_ps(t.middle);
    tu = _mm_set1_ps(t.upper);
    halfMiddle = static_cast<float>(dots.middle / 2);
    if (method == 0) {
      bWeights = _mm_setr_ps(0.0625f, 0.0f, 0.0f, 0.125f);  // the single-precision shares below
      cWeights = _mm_setr_ps(0.0f, 0.0f, 0.0f, 0.0625f);
    } else {
      bWeights = _mm_setr_ps(0.0625f, 0.125f, 0.15625f, 0.125f);
      cWeights = _mm_setr_ps(0.0625f, 0.09375f, 0.0625f, 0.0625f);
    }
    ruleBelow = _mm_setr_ps(0.0f, method == 1 ? 0.25f : 0.4375f, 0.0f, 0.0f);
    for (int32_t r = -3; r <= 3; ++r) {
      ahead1d[r + 3] = 0.25 + 0.0625 * r;
      ahead2d[r + 3] = 0.125 + 0.03125 * r;
      belowPair[r + 3][0] = (4 - r) * 0.03125;
      belowPair[r + 3][1] = (4 - r) * 0.0625;
      ahead1[r + 3] = float(ahead1d[r + 3]);  // all exact in float
      ahead2[r + 3] = float(ahead2d[r + 3]);
      below[r + 3][0] = 0.0625f;
      below[r + 3][1] = float(belowPair[r + 3][0]);
      below[r + 3][2] = float(belowPair[r + 3][1]);
      below[r + 3][3] = 0.125f;
    }
  }
};

namespace baseline {
#define QM_SCAN_FMA 0
#include "halftone/diffusion_scan.inc"
#undef QM_SCAN_FMA
}  // namespace baseline

// Every function of this build is compiled for AVX2 with FMA (GCC and clang
// spell that differently).
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif
namespace fma {
#define QM_SCAN_FMA 1
#include "halftone/diffusion_scan.inc"
#undef QM_SCAN_FMA
}  // namespace fma
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

template <int Method>
void Scan(ScanIsa isa, float* plane, uint32_t width, uint32_t height, const ScanLevels& lv, DrawQueue& queue) {
  std::vector<float> zeroRow(width, 0.0f);
  if (isa == ScanIsa::kFma) {
    fma::ScanPlane<Method>(plane, width, height, zeroRow.data(), lv, queue);
  } else {
    baseline::ScanPlane<Method>(plane, width, height, zeroRow.data(), lv, queue);
  }
}

bool Supports(ScanIsa isa) {
  if (isa == ScanIsa::kBaseline) return true;
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

// GaussianNoise values made ahead in blocks.
class NoiseQueue {
 public:
  explicit NoiseQueue(RandomSource& random) : noise_(random), values_(kCapacity) {}

  // At least n values (n <= 8) from the returned pointer on.
  const float* Ensure(std::size_t n) {
    if (end_ - next_ < n) {
      const std::size_t kept = end_ - next_;
      std::copy(values_.begin() + next_, values_.begin() + end_, values_.begin());
      const std::size_t pairs = (kCapacity - kept) / 2;
      noise_.FillPairs(values_.data() + kept, pairs);
      next_ = 0;
      end_ = kept + 2 * pairs;
    }
    return values_.data() + next_;
  }
  void Take(std::size_t n) { next_ += n; }

 private:
  static constexpr std::size_t kCapacity = 4096;
  GaussianNoise noise_;
  std::vector<float> values_;
  std::size_t next_ = 0, end_ = 0;
};

inline float Noised(float v, float noise) {
  float n = v + kNoiseGain * noise;
  n = n > 0.0f ? n : 0.0f;
  return n < kFullTone ? n : kFullTone;
}

void NoiseBaseline(float* plane, std::size_t count, float ceiling, NoiseQueue& queue) {
  for (std::size_t i = 0; i < count; ++i) {
    const float v = plane[i];
    if (kNoiseFloor < v && v < ceiling) {
      plane[i] = Noised(v, *queue.Ensure(1));
      queue.Take(1);
    }
  }
}

// For each mask of eight lanes, the place among the set lanes of each set lane:
// a permutation that spreads consecutive noise values onto the noised pixels.
struct SpreadTable {
  alignas(32) int32_t lanes[256][8];
  SpreadTable() {
    for (int m = 0; m < 256; ++m) {
      int32_t rank = 0;
      for (int k = 0; k < 8; ++k) lanes[m][k] = (m >> k) & 1 ? rank++ : 0;
    }
  }
};

[[gnu::target("avx2")]] void NoiseAvx2(float* plane, std::size_t count, float ceiling, NoiseQueue& queue) {
  static const SpreadTable spread;
  const __m256 floor = _mm256_set1_ps(kNoiseFloor), top = _mm256_set1_ps(ceiling);
  const __m256 gain = _mm256_set1_ps(kNoiseGain), full = _mm256_set1_ps(kFullTone), zero = _mm256_setzero_ps();
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256 v = _mm256_loadu_ps(plane + i);
    const __m256 noised = _mm256_and_ps(_mm256_cmp_ps(floor, v, _CMP_LT_OQ), _mm256_cmp_ps(v, top, _CMP_LT_OQ));
    const int mask = _mm256_movemask_ps(noised);
    if (mask == 0) continue;
    const __m256i order = _mm256_load_si256(reinterpret_cast<const __m256i*>(spread.lanes[mask]));
    const __m256 noise = _mm256_permutevar8x32_ps(_mm256_loadu_ps(queue.Ensure(8)), order);
    const __m256 n = _mm256_min_ps(_mm256_max_ps(_mm256_add_ps(v, _mm256_mul_ps(gain, noise)), zero), full);
    _mm256_storeu_ps(plane + i, _mm256_blendv_ps(v, n, noised));
    queue.Take(__builtin_popcount(unsigned(mask)));
  }
  NoiseBaseline(plane + i, count - i, ceiling, queue);
}

// Adds 8192 x GaussianNoise() to every pixel strictly between the floor and
// `ceiling`, in plane order (each row left to right). The queue carries the
// stream from one call to the next, so pixels noised in several calls take the
// values one call would give them.
void Noise(ScanIsa isa, float* pixels, std::size_t count, float ceiling, NoiseQueue& queue) {
  if (isa == ScanIsa::kFma) {
    NoiseAvx2(pixels, count, ceiling, queue);
  } else {
    NoiseBaseline(pixels, count, ceiling, queue);
  }
}

void NoisePass(ScanIsa isa, float* plane, std::size_t count, float ceiling, RandomSource& random) {
  NoiseQueue queue(random);
  Noise(isa, plane, count, ceiling, queue);
}

// The noise pass's ceiling of each method (none for method 0).
float NoiseCeiling(int32_t ditherMethod) { return ditherMethod == 1 ? 35535.0f : kFullTone; }

// What comes before the scan of a whole plane: the curve of its slot, then,
// for methods 1 to 3, the noise pass from the plane's own stream. False when
// the method does not diffuse, which leaves the plane linearised only.
bool Prepare(ScanIsa isa, const HalftoneParams& params, float* plane, std::size_t count, int32_t slot,
             uint32_t band) {
  if (slot >= 0 && slot < kSlotCount) ApplyCurve(params.curves[std::size_t(slot)], plane, count);
  const int32_t method = params.ditherMethod;
  if (method < 0 || method > 3) return false;
  if (method >= 1) {
    RandomSource noiseRandom = RandomSource::ForNoise(slot, band);
    NoisePass(isa, plane, count, NoiseCeiling(method), noiseRandom);
  }
  return true;
}

ScanLevels LevelsOf(const HalftoneParams& params) {
  return ScanLevels(params.ditherMethod, params.levels,
                    MakeThresholds(params.levels, params.middleDotDilution, params.largeDotDilution));
}

// HalftonePlane on the scan build isa, which the CPU is known to have.
void Halftone(ScanIsa isa, const HalftoneParams& params, float* plane, uint32_t width, uint32_t height, int32_t slot,
              uint32_t band) {
  if (plane == nullptr || width == 0 || height == 0) return;
  if (!Prepare(isa, params, plane, std::size_t(width) * height, slot, band)) return;
  const int32_t method = params.ditherMethod;
  const ScanLevels lv = LevelsOf(params);
  RandomSource random = RandomSource::ForPlane(slot, band);
  DrawQueue queue(random, method);
  switch (method) {
    case 0: Scan<0>(isa, plane, width, height, lv, queue); break;
    case 1: Scan<1>(isa, plane, width, height, lv, queue); break;
    case 2: Scan<2>(isa, plane, width, height, lv, queue); break;
    default: Scan<3>(isa, plane, width, height, lv, queue); break;
  }
}

// The widest scan build the CPU has, found once.
ScanIsa WidestIsa() {
  static const ScanIsa isa = Supports(ScanIsa::kFma) ? ScanIsa::kFma : ScanIsa::kBaseline;
  return isa;
}

template <int Method>
void ScanOne(ScanIsa isa, uint32_t y, float* row0, float* row1, float* row2, uint32_t width, const ScanLevels& lv,
             DrawQueue& queue) {
  if (isa == ScanIsa::kFma) {
    fma::ScanOneRow<Method>(y, row0, row1, row2, width, lv, queue);
  } else {
    baseline::ScanOneRow<Method>(y, row0, row1, row2, width, lv, queue);
  }
}

template <int Method>
void ScanTwoWith(ScanIsa isa, uint32_t y, float* const (&a)[3], float* const (&b)[3], uint32_t width,
                 const ScanLevels& la, const ScanLevels& lb, DrawQueue& qa, DrawQueue& qb) {
  if (isa == ScanIsa::kFma) {
    fma::ScanTwoRows<Method>(y, a, b, width, la, lb, qa, qb);
  } else {
    baseline::ScanTwoRows<Method>(y, a, b, width, la, lb, qa, qb);
  }
}

// Row y of two planes, side by side, by dither method `method` (0 to 3).
void ScanTwo(ScanIsa isa, int32_t method, uint32_t y, float* const (&a)[3], float* const (&b)[3], uint32_t width,
             const ScanLevels& la, const ScanLevels& lb, DrawQueue& qa, DrawQueue& qb) {
  switch (method) {
    case 0: ScanTwoWith<0>(isa, y, a, b, width, la, lb, qa, qb); break;
    case 1: ScanTwoWith<1>(isa, y, a, b, width, la, lb, qa, qb); break;
    case 2: ScanTwoWith<2>(isa, y, a, b, width, la, lb, qa, qb); break;
    default: ScanTwoWith<3>(isa, y, a, b, width, la, lb, qa, qb); break;
  }
}

}  // namespace

// The rows in a ring of three: the row being finished and the two below it,
// which already took the curve and the noise, as they had in the whole plane.
struct HalftoneRows::State {
  State(const HalftoneParams& params, uint32_t w, int32_t s, uint32_t band)
      : isa(WidestIsa()),
        width(w),
        method(params.ditherMethod),
        slot(s),
        curve(s >= 0 && s < kSlotCount ? params.curves[std::size_t(s)] : Curve{}),
        lv(LevelsOf(params)),
        random(RandomSource::ForPlane(s, band)),
        noiseRandom(RandomSource::ForNoise(s, band)),
        draws(random, method),
        noise(noiseRandom),
        rows(3 * std::size_t{w}),
        zero(w, 0.0f) {}

  float* Row(uint64_t y) { return rows.data() + (y % 3) * width; }
  bool Diffuses() const { return method >= 0 && method <= 3; }

  // The next row in: the curve and the noise.
  void Take(const float* row) {
    float* into = Row(pushed);
    std::copy(row, row + width, into);
    if (slot >= 0 && slot < kSlotCount) ApplyCurve(curve, into, width);
    if (method >= 1 && method <= 3) Noise(isa, into, width, NoiseCeiling(method), noise);
    ++pushed;
  }

  // Row y and the two rows below it, those past `end` (exclusive) a zero row.
  void Rows(uint64_t y, uint64_t end, float* (&rows3)[3]) {
    rows3[0] = Row(y);
    rows3[1] = y + 1 < end ? Row(y + 1) : zero.data();
    rows3[2] = y + 2 < end ? Row(y + 2) : zero.data();
  }

  // Row y, with the rows below it up to `end` (exclusive) taken in.
  const float* Finish(uint64_t y, uint64_t end) {
    float* r[3];
    Rows(y, end, r);
    if (!Diffuses()) return r[0];
    const uint32_t row = static_cast<uint32_t>(y);
    switch (method) {
      case 0: ScanOne<0>(isa, row, r[0], r[1], r[2], width, lv, draws); break;
      case 1: ScanOne<1>(isa, row, r[0], r[1], r[2], width, lv, draws); break;
      case 2: ScanOne<2>(isa, row, r[0], r[1], r[2], width, lv, draws); break;
      default: ScanOne<3>(isa, row, r[0], r[1], r[2], width, lv, draws); break;
    }
    return r[0];
  }

  ScanIsa isa;
  uint32_t width;
  int32_t method;
  int32_t slot;
  Curve curve;
  ScanLevels lv;
  RandomSource random, noiseRandom;
  DrawQueue draws;
  NoiseQueue noise;
  std::vector<float> rows, zero;
  uint64_t pushed = 0, finished = 0;
};

HalftoneRows::HalftoneRows(const HalftoneParams& params, uint32_t width, int32_t slot, uint32_t band)
    : state_(std::make_unique<State>(params, width, slot, band)) {}

HalftoneRows::~HalftoneRows() = default;

const float* HalftoneRows::Push(const float* row) {
  State& s = *state_;
  if (s.width == 0) return nullptr;
  s.Take(row);
  if (s.pushed < 3) return nullptr;
  return s.Finish(s.finished++, s.pushed);
}

std::pair<const float*, const float*> HalftoneRows::PushTwo(HalftoneRows& a, const float* rowA, HalftoneRows& b,
                                                            const float* rowB) {
  State& x = *a.state_;
  State& y = *b.state_;
  // Together only where both finish the same row by the same scan.
  if (&x == &y || x.width == 0 || x.width != y.width || x.method != y.method || !x.Diffuses() || x.isa != y.isa ||
      x.pushed != y.pushed || x.finished != y.finished || x.pushed < 2) {
    const float* first = a.Push(rowA);
    return {first, b.Push(rowB)};
  }
  x.Take(rowA);
  y.Take(rowB);
  const uint64_t row = x.finished++;
  ++y.finished;
  float* ra[3];
  float* rb[3];
  x.Rows(row, x.pushed, ra);
  y.Rows(row, y.pushed, rb);
  ScanTwo(x.isa, x.method, static_cast<uint32_t>(row), ra, rb, x.width, x.lv, y.lv, x.draws, y.draws);
  return {ra[0], rb[0]};
}

const float* HalftoneRows::Flush() {
  State& s = *state_;
  if (s.width == 0 || s.finished == s.pushed) return nullptr;
  return s.Finish(s.finished++, s.pushed);
}

HalftoneParams HalftoneParams::Of(const ActiveSetting& settings) {
  HalftoneParams params;
  for (int32_t slot = 0; slot < kSlotCount; ++slot) params.curves[std::size_t(slot)] = Curve::ForSlot(settings, slot);
  params.levels = DeriveDotLevels(settings.middleDotLevel, settings.largeDotLevel, settings.Bits, settings.Dots());
  params.middleDotDilution = settings.MiddleDotDilution;
  params.largeDotDilution = settings.LargeDotDilution;
  params.ditherMethod = static_cast<int32_t>(settings.Dither());
  return params;
}

void HalftoneTwoPlanes(const HalftoneParams& params, float* a, int32_t slotA, float* b, int32_t slotB,
                       uint32_t width, uint32_t height, uint32_t band) {
  const ScanIsa isa = WidestIsa();
  const int32_t method = params.ditherMethod;
  if (a == nullptr || b == nullptr || a == b || width == 0 || height == 0 || method < 0 || method > 3) {
    Halftone(isa, params, a, width, height, slotA, band);
    Halftone(isa, params, b, width, height, slotB, band);
    return;
  }
  // Each plane's curve and noise as HalftonePlane gives them (every plane
  // has streams of its own), then the two scans row beside row.
  const std::size_t count = std::size_t(width) * height;
  Prepare(isa, params, a, count, slotA, band);
  Prepare(isa, params, b, count, slotB, band);
  const ScanLevels lv = LevelsOf(params);
  RandomSource randomA = RandomSource::ForPlane(slotA, band), randomB = RandomSource::ForPlane(slotB, band);
  DrawQueue queueA(randomA, method), queueB(randomB, method);
  std::vector<float> zeroA(width, 0.0f), zeroB(width, 0.0f);
  float* const planes[2] = {a, b};
  for (uint32_t y = 0; y < height; ++y) {
    float* rows[2][3];
    for (int i = 0; i < 2; ++i) {
      float* const zero = i == 0 ? zeroA.data() : zeroB.data();
      rows[i][0] = planes[i] + std::size_t(y) * width;
      rows[i][1] = y + 1 < height ? rows[i][0] + width : zero;
      rows[i][2] = y + 2 < height ? rows[i][0] + 2 * std::size_t(width) : zero;
    }
    ScanTwo(isa, method, y, rows[0], rows[1], width, lv, lv, queueA, queueB);
  }
}

float* HalftonePlane(const HalftoneParams& params, float* plane, uint32_t width, uint32_t height, int32_t slot,
                     uint32_t band) {
  Halftone(WidestIsa(), params, plane, width, height, slot, band);
  return plane;
}

bool HalftonePlaneWith(ScanIsa isa, const HalftoneParams& params, float* plane, uint32_t width, uint32_t height,
                       int32_t slot, uint32_t band) {
  if (!Supports(isa)) return false;
  Halftone(isa, params, plane, width, height, slot, band);
  return true;
}

}  // namespace qm
