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

// Four neighbours at once: the same operations lane by lane.
inline __m128 OpenAll(__m128 v, const Constants& c) {
  return _mm_and_ps(_mm_cmplt_ps(c.zero, v), _mm_cmplt_ps(v, c.full));
}
inline __m128 LimitAll(__m128 v, const Constants& c) { return _mm_max_ps(_mm_min_ps(v, c.full), c.zero); }
// Shares of e x weight + bias to the lanes of n picked by `lanes` that are open.
inline __m128 GiveAll(__m128 n, __m128 e, __m128 weight, __m128 bias, __m128 lanes, const Constants& c) {
  const __m128 sum = LimitAll(_mm_add_ps(_mm_add_ps(n, _mm_mul_ps(e, weight)), bias), c);
  return Select(_mm_and_ps(OpenAll(n, c), lanes), sum, n);
}
inline __m128 LaneMask(bool l0, bool l1, bool l2, bool l3) {
  return _mm_castsi128_ps(_mm_setr_epi32(-int32_t(l0), -int32_t(l1), -int32_t(l2), -int32_t(l3)));
}

// The weights of method 0 in double for each weight shift r = -3..3: ahead
// by one and two, and back-below and below as one pair.
struct ShiftedWeights {
  double ahead1[7], ahead2[7];
  alignas(16) double belowPair[7][2];
  ShiftedWeights() {
    for (int32_t r = -3; r <= 3; ++r) {
      ahead1[r + 3] = 0.25 + 0.0625 * r;
      ahead2[r + 3] = 0.125 + 0.03125 * r;
      belowPair[r + 3][0] = (4 - r) * 0.03125;
      belowPair[r + 3][1] = (4 - r) * 0.0625;
    }
  }
};

// The pixels that take shares from the pixel being visited, offsets counted
// in scan direction: two ahead in its row (a1, a2), and as two vectors
// b = (row below -2, -1, 0, +1) and c = (second row below -1, 0, +1; row below +2).
struct Window {
  Lane a1, a2;
  __m128 b, c;
};

struct Kernel {
  __m128 bWeights, cWeights, all, back1;
};

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
                    const Levels& lv, const Kernel& k, const Constants& c) {
  static const ShiftedWeights kShift;
  const Lane up = _mm_cmple_ss(_mm_add_ss(thr, j), v);
  const Lane eLow = _mm_sub_ss(v, low);
  const Lane eHigh = _mm_sub_ss(v, high);
  const Lane level = Select(up, high, low);
  const Lane e = Select(up, eHigh, eLow);
  const __m128 eAll = _mm_shuffle_ps(e, e, 0);
  if constexpr (Method == 0) {
    const int32_t r = random.Next() % 7;  // r + 3, with r = (random % 7) - 3
    const __m128d w1 = _mm_set1_pd(kShift.ahead1[r]);
    // Both candidates for a1 in one pair of doubles: (lower level, higher level).
    const __m128 a1 = _mm_shuffle_ps(n.a1, n.a1, 0);
    const __m128d sums = _mm_add_pd(_mm_cvtps_pd(a1), _mm_mul_pd(_mm_cvtps_pd(_mm_unpacklo_ps(eLow, eHigh)), w1));
    const __m128 given = Select(OpenAll(a1, c), LimitAll(_mm_cvtpd_ps(sums), c), a1);
    n.a1 = Select(up, _mm_shuffle_ps(given, given, _MM_SHUFFLE(1, 1, 1, 1)), given);
    n.a2 = GiveDouble(n.a2, e, _mm_set1_pd(kShift.ahead2[r]), c);
    // Back-below and below in double: lanes 1 and 2 of b.
    const __m128d old = _mm_cvtps_pd(_mm_shuffle_ps(n.b, n.b, _MM_SHUFFLE(3, 3, 2, 1)));
    const __m128d sum = _mm_add_pd(old, _mm_mul_pd(_mm_cvtps_pd(eAll), _mm_load_pd(kShift.belowPair[r])));
    const __m128 f = _mm_cvtpd_ps(sum);  // (back-below, below, 0, 0)
    const __m128 merged = _mm_shuffle_ps(_mm_unpacklo_ps(n.b, f), _mm_shuffle_ps(f, n.b, _MM_SHUFFLE(3, 3, 1, 1)),
                                         _MM_SHUFFLE(2, 0, 1, 0));
    const __m128 doubled = Select(_mm_and_ps(OpenAll(n.b, c), LaneMask(false, true, true, false)), LimitAll(merged, c), n.b);
    // The single-precision lanes: back-below by two, ahead-below by one and by two.
    n.b = GiveAll(doubled, eAll, k.bWeights, c.zero, LaneMask(true, false, false, true), c);
    n.c = GiveAll(n.c, eAll, k.cWeights, c.zero, LaneMask(false, false, false, true), c);
  } else {
    bool kernel = true;
    if constexpr (Method == 1) {
      const float ef = _mm_cvtss_f32(e);
      if (ef > -4096.0f && ef < lv.halfMiddle && _mm_cvtss_f32(previous) == 0.0f && random.Next() % 4 != 0) {
        n.a1 = Give(n.a1, e, Splat(0.75f), c);
        n.b = GiveAll(n.b, eAll, Splat(0.25f), c.zero, k.back1, c);
        kernel = false;
      } else {
        n.a1 = GiveBiased(n.a1, e, Splat(0.15625f), c.bias, c);
      }
    } else {
      // Method 2: the pixel ahead decides between the two-share rule and the
      // kernel before the error is known; a bias of 0 adds nothing (these sums
      // are never -0).
      Lane w1 = Splat(0.15625f), bias = c.bias;
      if constexpr (Method == 2) {
        const Lane near = _mm_and_ps(_mm_cmplt_ss(c.zero, n.a1), _mm_cmplt_ss(n.a1, Splat(16750.0f)));
        w1 = Select(near, Splat(0.5625f), w1);
        bias = Select(near, c.zero, c.bias);
        kernel = (_mm_movemask_ps(near) & 1) == 0;
      }
      n.a1 = Select(up, GiveBiased(n.a1, eHigh, w1, bias, c), GiveBiased(n.a1, eLow, w1, bias, c));
      if constexpr (Method == 2) {
        if (!kernel) n.b = GiveAll(n.b, eAll, Splat(0.4375f), c.zero, k.back1, c);
      }
    }
    if (kernel) {
      n.a2 = GiveBiased(n.a2, e, Splat(0.09375f), c.bias, c);
      n.b = GiveAll(n.b, eAll, k.bWeights, c.bias, k.all, c);
      n.c = GiveAll(n.c, eAll, k.cWeights, c.bias, k.all, c);
    }
  }
  return level;
}

template <int Method, int Step>
void DiffuseRow(float* row0, float* row1, float* row2, int64_t w, const Levels& lv, RandomSource& random) {
  const Constants c;
  Kernel k;
  k.all = LaneMask(true, true, true, true);
  k.back1 = LaneMask(false, true, false, false);
  if constexpr (Method == 0) {
    k.bWeights = _mm_setr_ps(0.0625f, 0.0f, 0.0f, 0.125f);
    k.cWeights = _mm_setr_ps(0.0f, 0.0f, 0.0f, 0.0625f);
  } else {
    k.bWeights = _mm_setr_ps(0.0625f, 0.125f, 0.15625f, 0.125f);
    k.cWeights = _mm_setr_ps(0.0625f, 0.09375f, 0.0625f, 0.0625f);
  }
  // Pixel k of a row in scan order; positions outside the row read as 0.
  auto load = [w](const float* row, int64_t i) { return (i >= 0 && i < w) ? _mm_load_ss(row + i * Step) : _mm_setzero_ps(); };
  auto store = [w](float* row, int64_t i, Lane v) {
    if (i >= 0 && i < w) _mm_store_ss(row + i * Step, v);
  };
  Window n;
  Lane a0 = load(row0, 0);
  n.a1 = load(row0, 1);
  n.a2 = load(row0, 2);
  n.b = _mm_movelh_ps(_mm_setzero_ps(), _mm_unpacklo_ps(load(row1, 0), load(row1, 1)));
  n.c = _mm_movelh_ps(_mm_unpacklo_ps(_mm_setzero_ps(), load(row2, 0)), _mm_unpacklo_ps(load(row2, 1), load(row1, 2)));
  Lane previous = Splat(-1.0f);  // no pixel before the first of the row

  for (int64_t i = 0; i < w; ++i) {
    Lane v = a0;
    Lane j = c.zero;
    if constexpr (Method == 1) j = _mm_cvtsi32_ss(c.zero, random.Next() % 2001 - 1000);
    if constexpr (Method == 2) j = _mm_cvtsi32_ss(c.zero, random.Next() % 2500);
    if constexpr (Method == 3) j = _mm_cvtsi32_ss(c.zero, random.Next() % 3001 - 1500);
    const float vf = _mm_cvtss_f32(v);
    if (vf > 0.0f && vf < kFullTone) {
      if (vf == lv.u || vf == lv.d) {
        v = Diffuse<Method>(v, j, v, v, v, n, previous, random, lv, k, c);  // keeps its level, error 0
      } else if (vf > lv.u) {
        v = Diffuse<Method>(v, j, lv.uLane, c.full, lv.tu, n, previous, random, lv, k, c);
      } else if (vf > lv.d) {
        v = Diffuse<Method>(v, j, lv.dLane, lv.uLane, lv.tm, n, previous, random, lv, k, c);
      } else {
        v = Diffuse<Method>(v, j, c.zero, lv.dLane, lv.ts, n, previous, random, lv, k, c);
      }
    }
    // Pixel i is final, and so are i - 2 below (lane 0 of b) and i - 1 two
    // rows below (lane 0 of c). Then the window slides by one pixel.
    store(row0, i, v);
    previous = v;
    store(row1, i - 2, n.b);
    store(row2, i - 1, n.c);
    a0 = n.a1;
    n.a1 = n.a2;
    n.a2 = load(row0, i + 3);
    const __m128 bc = _mm_shuffle_ps(n.b, n.c, _MM_SHUFFLE(3, 3, 3, 3));          // (b3, b3, c3, c3)
    n.b = _mm_shuffle_ps(n.b, bc, _MM_SHUFFLE(2, 0, 2, 1));                      // (b1, b2, b3, c3)
    const __m128 fresh = _mm_unpacklo_ps(load(row2, i + 2), load(row1, i + 3));  // (c +2, b +3, ...)
    n.c = _mm_shuffle_ps(n.c, fresh, _MM_SHUFFLE(1, 0, 2, 1));                   // (c1, c2, c +2, b +3)
  }
  store(row1, w - 2, n.b);
  store(row1, w - 1, _mm_shuffle_ps(n.b, n.b, _MM_SHUFFLE(1, 1, 1, 1)));
  store(row2, w - 1, n.c);
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
// `ceiling`, row by row, left to right. The noise is drawn ahead in blocks so
// that the pixel loop has no branch on the pixel values.
void NoisePass(float* plane, std::size_t count, float ceiling, RandomSource& random) {
  GaussianNoise noise(random);
  constexpr std::size_t kBlock = 512;
  float block[kBlock];
  std::size_t used = kBlock;
  for (std::size_t i = 0; i < count; ++i) {
    if (used == kBlock) {
      for (float& b : block) b = noise();
      used = 0;
    }
    const float v = plane[i];
    const bool noised = kNoiseFloor < v && v < ceiling;
    float n = v + kNoiseGain * block[used];
    n = n > 0.0f ? n : 0.0f;
    n = n < kFullTone ? n : kFullTone;
    plane[i] = noised ? n : v;
    used += noised ? 1 : 0;
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
  RandomSource noiseRandom = RandomSource::ForNoise(slot, band);
  switch (ditherMethod) {
    case 0:
      DiffuseRows<0>(plane, width, height, levels, t, random);
      break;
    case 1:
      NoisePass(plane, count, 35535.0f, noiseRandom);
      DiffuseRows<1>(plane, width, height, levels, t, random);
      break;
    case 2:
      NoisePass(plane, count, kFullTone, noiseRandom);
      DiffuseRows<2>(plane, width, height, levels, t, random);
      break;
    default:
      NoisePass(plane, count, kFullTone, noiseRandom);
      DiffuseRows<3>(plane, width, height, levels, t, random);
      break;
  }
  return plane;
}

}  // namespace qm
