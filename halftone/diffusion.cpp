// HalftonePlane: the curve, the noise pass and the serpentine error diffusion.
//
// The scan keeps the pixels that the current pixel gives shares to in
// registers: two ahead in its row, five in the row below and three in the
// second row below (a window that slides one pixel per step). A pixel leaves
// the window once no later pixel of the row can reach it, and is stored then.
// Positions outside the row hold 0 in the window: 0 takes no share, so shares
// that fall off the plane are lost, and nothing outside the plane is read or
// written. Rows below the plane are a zeroed scratch row for the same reason.
#include <emmintrin.h>

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

// The scan works on one float in lane 0 of an SSE register, so that every
// choice between values is a mask and a blend rather than a branch.
using Lane = __m128;

inline Lane Splat(float x) { return _mm_set1_ps(x); }
inline Lane Select(Lane mask, Lane a, Lane b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }

struct Constants {
  Lane zero = Splat(0.0f);
  Lane full = Splat(kFullTone);
  Lane bias = Splat(kBias);
};

// At most 65535, then at least 0.
inline Lane Limit(Lane v, const Constants& c) { return _mm_max_ss(_mm_min_ss(v, c.full), c.zero); }

// Strictly between 0 and 65535: such a pixel takes shares and passes its error.
inline Lane Open(Lane v, const Constants& c) { return _mm_and_ps(_mm_cmplt_ss(c.zero, v), _mm_cmplt_ss(v, c.full)); }

// A share of e to neighbour n, which takes it only while open.
inline Lane Give(Lane n, Lane e, Lane weight, const Constants& c) {
  return Select(Open(n, c), Limit(_mm_add_ss(n, _mm_mul_ss(e, weight)), c), n);
}
inline Lane GiveBiased(Lane n, Lane e, Lane weight, Lane bias, const Constants& c) {
  return Select(Open(n, c), Limit(_mm_add_ss(_mm_add_ss(n, _mm_mul_ss(e, weight)), bias), c), n);
}
// The share combined in double precision, then rounded to float.
inline Lane GiveDouble(Lane n, Lane e, __m128d weight, const Constants& c) {
  const __m128d sum = _mm_add_sd(_mm_cvtss_sd(weight, n), _mm_mul_sd(_mm_cvtss_sd(weight, e), weight));
  return Select(Open(n, c), Limit(_mm_cvtsd_ss(n, sum), c), n);
}

// The weights of method 0 for each weight shift r = -3..3, in double.
struct ShiftedWeights {
  double ahead1[7], ahead2[7], backBelow[7], below[7];
  ShiftedWeights() {
    for (int32_t r = -3; r <= 3; ++r) {
      ahead1[r + 3] = 0.25 + 0.0625 * r;
      ahead2[r + 3] = 0.125 + 0.03125 * r;
      backBelow[r + 3] = (4 - r) * 0.03125;
      below[r + 3] = (4 - r) * 0.0625;
    }
  }
};

// The pixels that take shares from the pixel being visited: two ahead in its
// row (a1, a2), five in the row below (b[-2..2]) and three in the row after
// (c[-1..1]), offsets counted in scan direction.
struct Window {
  Lane a1, a2;
  Lane bm2, bm1, b0, b1, b2;
  Lane cm1, c0, c1;
};

// The three-row kernel with its bias (a1 is given by the caller).
inline void ThreeRowKernel(Window& n, Lane e, const Constants& c) {
  const Lane w5 = Splat(0.15625f), w3 = Splat(0.09375f), w4 = Splat(0.125f), w2 = Splat(0.0625f);
  n.a2 = GiveBiased(n.a2, e, w3, c.bias, c);
  n.bm2 = GiveBiased(n.bm2, e, w2, c.bias, c);
  n.bm1 = GiveBiased(n.bm1, e, w4, c.bias, c);
  n.b0 = GiveBiased(n.b0, e, w5, c.bias, c);
  n.b1 = GiveBiased(n.b1, e, w4, c.bias, c);
  n.b2 = GiveBiased(n.b2, e, w2, c.bias, c);
  n.cm1 = GiveBiased(n.cm1, e, w2, c.bias, c);
  n.c0 = GiveBiased(n.c0, e, w3, c.bias, c);
  n.c1 = GiveBiased(n.c1, e, w2, c.bias, c);
}

struct Levels {
  float u, d;
  Lane tu, tm, ts, uLane, dLane;
  float halfMiddle;  // D / 2, truncated, for method 1
};

// Quantises the open pixel v with threshold jitter j inside one interval
// (low, high) with threshold thr, gives its error to the window and returns
// its level. The share to a1 is worked out for both levels while the
// threshold test runs, so that test is off the path from pixel to pixel.
template <int Method>
inline Lane Diffuse(Lane v, Lane j, Lane low, Lane high, Lane thr, Window& n, Lane previous, RandomSource& random,
                    const Levels& lv, const Constants& c) {
  static const ShiftedWeights kShift;
  const Lane up = _mm_cmple_ss(_mm_add_ss(thr, j), v);
  const Lane eLow = _mm_sub_ss(v, low);
  const Lane eHigh = _mm_sub_ss(v, high);
  const Lane level = Select(up, high, low);
  const Lane e = Select(up, eHigh, eLow);
  if constexpr (Method == 0) {
    const int32_t r = random.Next() % 7;  // r + 3, with r = (random % 7) - 3
    const __m128d w1 = _mm_set1_pd(kShift.ahead1[r]);
    n.a1 = Select(up, GiveDouble(n.a1, eHigh, w1, c), GiveDouble(n.a1, eLow, w1, c));
    n.a2 = GiveDouble(n.a2, e, _mm_set1_pd(kShift.ahead2[r]), c);
    n.bm2 = Give(n.bm2, e, Splat(0.0625f), c);
    n.bm1 = GiveDouble(n.bm1, e, _mm_set1_pd(kShift.backBelow[r]), c);
    n.b0 = GiveDouble(n.b0, e, _mm_set1_pd(kShift.below[r]), c);
    n.b1 = Give(n.b1, e, Splat(0.125f), c);
    n.b2 = Give(n.b2, e, Splat(0.0625f), c);
  } else if constexpr (Method == 1) {
    const float ef = _mm_cvtss_f32(e);
    if (ef > -4096.0f && ef < lv.halfMiddle && _mm_cvtss_f32(previous) == 0.0f && random.Next() % 4 != 0) {
      n.a1 = Give(n.a1, e, Splat(0.75f), c);
      n.bm1 = Give(n.bm1, e, Splat(0.25f), c);
    } else {
      n.a1 = GiveBiased(n.a1, e, Splat(0.15625f), c.bias, c);
      ThreeRowKernel(n, e, c);
    }
  } else if constexpr (Method == 2) {
    // The pixel ahead decides between the two-share rule and the kernel before
    // the error is known; a bias of 0 adds nothing (sums here are never -0).
    const Lane near = _mm_and_ps(_mm_cmplt_ss(c.zero, n.a1), _mm_cmplt_ss(n.a1, Splat(16750.0f)));
    const Lane w1 = Select(near, Splat(0.5625f), Splat(0.15625f));
    const Lane bias = Select(near, c.zero, c.bias);
    n.a1 = Select(up, GiveBiased(n.a1, eHigh, w1, bias, c), GiveBiased(n.a1, eLow, w1, bias, c));
    if (_mm_movemask_ps(near) & 1) {
      n.bm1 = Give(n.bm1, e, Splat(0.4375f), c);
    } else {
      ThreeRowKernel(n, e, c);
    }
  } else {
    n.a1 = Select(up, GiveBiased(n.a1, eHigh, Splat(0.15625f), c.bias, c),
                  GiveBiased(n.a1, eLow, Splat(0.15625f), c.bias, c));
    ThreeRowKernel(n, e, c);
  }
  return level;
}

template <int Method, int Step>
void DiffuseRow(float* row0, float* row1, float* row2, int64_t w, const Levels& lv, RandomSource& random) {
  const Constants c;
  // Pixel k of a row in scan order; positions outside the row read as 0.
  auto load = [w](const float* row, int64_t k) { return (k >= 0 && k < w) ? _mm_load_ss(row + k * Step) : _mm_setzero_ps(); };
  auto store = [w](float* row, int64_t k, Lane v) {
    if (k >= 0 && k < w) _mm_store_ss(row + k * Step, v);
  };
  Window n;
  Lane a0 = load(row0, 0);
  n.a1 = load(row0, 1);
  n.a2 = load(row0, 2);
  n.bm2 = n.bm1 = _mm_setzero_ps();
  n.b0 = load(row1, 0);
  n.b1 = load(row1, 1);
  n.b2 = load(row1, 2);
  n.cm1 = _mm_setzero_ps();
  n.c0 = load(row2, 0);
  n.c1 = load(row2, 1);
  Lane previous = Splat(-1.0f);  // no pixel before the first of the row

  for (int64_t k = 0; k < w; ++k) {
    Lane v = a0;
    Lane j = c.zero;
    if constexpr (Method == 1) j = _mm_cvtsi32_ss(c.zero, random.Next() % 2001 - 1000);
    if constexpr (Method == 2) j = _mm_cvtsi32_ss(c.zero, random.Next() % 2500);
    if constexpr (Method == 3) j = _mm_cvtsi32_ss(c.zero, random.Next() % 3001 - 1500);
    const float vf = _mm_cvtss_f32(v);
    if (vf > 0.0f && vf < kFullTone) {
      if (vf == lv.u || vf == lv.d) {
        v = Diffuse<Method>(v, j, v, v, v, n, previous, random, lv, c);  // keeps its level, error 0
      } else if (vf > lv.u) {
        v = Diffuse<Method>(v, j, lv.uLane, c.full, lv.tu, n, previous, random, lv, c);
      } else if (vf > lv.d) {
        v = Diffuse<Method>(v, j, lv.dLane, lv.uLane, lv.tm, n, previous, random, lv, c);
      } else {
        v = Diffuse<Method>(v, j, c.zero, lv.dLane, lv.ts, n, previous, random, lv, c);
      }
    }
    // Pixel k is final, and so are k - 2 below and k - 1 two rows below.
    store(row0, k, v);
    previous = v;
    store(row1, k - 2, n.bm2);
    store(row2, k - 1, n.cm1);
    a0 = n.a1;
    n.a1 = n.a2;
    n.a2 = load(row0, k + 3);
    n.bm2 = n.bm1;
    n.bm1 = n.b0;
    n.b0 = n.b1;
    n.b1 = n.b2;
    n.b2 = load(row1, k + 3);
    n.cm1 = n.c0;
    n.c0 = n.c1;
    n.c1 = load(row2, k + 2);
  }
  store(row1, w - 2, n.bm2);
  store(row1, w - 1, n.bm1);
  store(row2, w - 1, n.cm1);
}

template <int Method>
void DiffuseRows(float* plane, uint32_t width, uint32_t height, const DotLevels& levels, const Thresholds& t,
                 RandomSource& random) {
  Levels lv;
  lv.u = float(levels.large);
  lv.d = float(levels.middle);
  lv.uLane = Splat(lv.u);
  lv.dLane = Splat(lv.d);
  lv.tu = Splat(t.upper);
  lv.tm = Splat(t.middle);
  lv.ts = Splat(t.lower);
  lv.halfMiddle = static_cast<float>(levels.middle / 2);
  // Rows below the plane: zeros, which take no share.
  std::vector<float> zeroRow(width, 0.0f);
  const int64_t w = width;
  for (uint32_t y = 0; y < height; ++y) {
    float* row0 = plane + std::size_t(y) * width;
    float* row1 = y + 1 < height ? row0 + width : zeroRow.data();
    float* row2 = y + 2 < height ? row0 + 2 * std::size_t(width) : zeroRow.data();
    if (y % 2 == 0) {
      DiffuseRow<Method, 1>(row0, row1, row2, w, lv, random);
    } else {
      DiffuseRow<Method, -1>(row0 + w - 1, row1 + w - 1, row2 + w - 1, w, lv, random);
    }
  }
}

// Adds 8192 x GaussianNoise() to every pixel strictly between the floor and
// `ceiling`, row by row, left to right.
void NoisePass(float* plane, std::size_t count, float ceiling, RandomSource& random) {
  GaussianNoise noise(random);
  for (std::size_t i = 0; i < count; ++i) {
    const float v = plane[i];
    if (!(kNoiseFloor < v && v < ceiling)) continue;
    float n = v + kNoiseGain * noise();
    n = n > 0.0f ? n : 0.0f;
    plane[i] = n < kFullTone ? n : kFullTone;
  }
}

}  // namespace

float* HalftonePlane(const ActiveSetting& settings, float* plane, uint32_t width, uint32_t height,
                     int32_t bits, float middleDotDilution, float largeDotDilution, int32_t useDots,
                     int32_t ditherMethod, int32_t slot, uint32_t band) {
  if (plane == nullptr || width == 0 || height == 0) return plane;
  const std::size_t count = std::size_t(width) * height;
  ApplyCurve(settings, plane, count, slot);
  if (ditherMethod < 0 || ditherMethod > 3) return plane;

  const DotLevels levels = DeriveDotLevels(settings.middleDotLevel, settings.largeDotLevel, bits, useDots);
  const Thresholds t = MakeThresholds(levels, middleDotDilution, largeDotDilution);
  RandomSource random = RandomSource::ForPlane(slot, band);
  switch (ditherMethod) {
    case 0:
      DiffuseRows<0>(plane, width, height, levels, t, random);
      break;
    case 1:
      NoisePass(plane, count, 35535.0f, random);
      DiffuseRows<1>(plane, width, height, levels, t, random);
      break;
    case 2:
      NoisePass(plane, count, kFullTone, random);
      DiffuseRows<2>(plane, width, height, levels, t, random);
      break;
    default:
      NoisePass(plane, count, kFullTone, random);
      DiffuseRows<3>(plane, width, height, levels, t, random);
      break;
  }
  return plane;
}

}  // namespace qm
