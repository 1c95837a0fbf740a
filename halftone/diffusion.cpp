// HalftonePlane: the curve, the noise pass and the serpentine error diffusion.
//
// The scan keeps the pixels that the current pixel gives shares to in
// registers: two ahead in its row, five in the row below and three in the
// second row below (a window that slides one pixel per step). A pixel leaves
// the window once no later pixel of the row can reach it, and is stored then.
// Positions outside the row hold 0 in the window: 0 takes no share, so shares
// that fall off the plane are lost, and nothing outside the plane is read or
// written. Rows below the plane are a zeroed scratch row for the same reason.
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

inline float Limit(float v) {
  v = v < kFullTone ? v : kFullTone;
  return v > 0.0f ? v : 0.0f;
}

inline bool Open(float v) { return v > 0.0f && v < kFullTone; }

// A share to neighbour n, which takes it only while strictly between 0 and 65535.
inline void Give(float& n, float e, float weight) {
  const float sum = Limit(n + e * weight);
  n = Open(n) ? sum : n;
}
inline void GiveBiased(float& n, float e, float weight) {
  const float sum = Limit(n + e * weight + kBias);
  n = Open(n) ? sum : n;
}
inline void GiveDouble(float& n, float e, double weight) {
  const float sum = Limit(static_cast<float>(static_cast<double>(n) + static_cast<double>(e) * weight));
  n = Open(n) ? sum : n;
}

// The levels and thresholds of one call, as floats.
struct Quantiser {
  float u, d, tu, tm, ts;

  // The level of v (0 < v < 65535) with threshold jitter j; a value at a level keeps it.
  float Level(float v, float j) const {
    const bool above = v > u;
    const bool between = v > d;
    const float low = above ? u : (between ? d : 0.0f);
    const float high = above ? kFullTone : (between ? u : d);
    const float threshold = above ? tu : (between ? tm : ts);
    const float chosen = v >= threshold + j ? high : low;
    return (v == u || v == d) ? v : chosen;
  }
};

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

// One row position of the scan: reads give 0 outside the row.
struct RowCursor {
  float* start;  // the first pixel visited
  int64_t step;  // +1 or -1
  int64_t width;
  float Load(int64_t k) const { return (k >= 0 && k < width) ? start[k * step] : 0.0f; }
  void Store(int64_t k, float v) const {
    if (k >= 0 && k < width) start[k * step] = v;
  }
};

template <int Method>
void DiffuseRows(float* plane, uint32_t width, uint32_t height, const DotLevels& levels, const Thresholds& t,
                 RandomSource& random) {
  const Quantiser quant{float(levels.large), float(levels.middle), t.upper, t.middle, t.lower};
  const float halfMiddle = static_cast<float>(levels.middle / 2);
  static const ShiftedWeights kShift;
  std::vector<float> zeroRow(width, 0.0f);
  const int64_t w = width;

  for (uint32_t y = 0; y < height; ++y) {
    const bool forward = y % 2 == 0;
    const int64_t step = forward ? 1 : -1;
    const int64_t first = forward ? 0 : w - 1;
    float* row0 = plane + std::size_t(y) * width;
    float* row1 = y + 1 < height ? row0 + width : zeroRow.data();
    float* row2 = y + 2 < height ? row0 + 2 * std::size_t(width) : zeroRow.data();
    const RowCursor r0{row0 + first, step, w}, r1{row1 + first, step, w}, r2{row2 + first, step, w};

    float a0 = r0.Load(0), a1 = r0.Load(1), a2 = r0.Load(2);
    float bm2 = 0.0f, bm1 = 0.0f, b0 = r1.Load(0), b1 = r1.Load(1), b2 = r1.Load(2);
    float cm1 = 0.0f, c0 = r2.Load(0), c1 = r2.Load(1);
    float previous = -1.0f;  // no pixel before the first of the row

    for (int64_t k = 0; k < w; ++k) {
      float v = a0;
      float jitter = 0.0f;
      if constexpr (Method == 1) jitter = static_cast<float>(random.Next() % 2001 - 1000);
      if constexpr (Method == 2) jitter = static_cast<float>(random.Next() % 2500);
      if constexpr (Method == 3) jitter = static_cast<float>(random.Next() % 3001 - 1500);
      if (Open(v)) {
        const float level = quant.Level(v, jitter);
        const float e = v - level;
        v = level;
        if constexpr (Method == 0) {
          const int32_t r = random.Next() % 7;  // r + 3, with r = (random % 7) - 3
          GiveDouble(a1, e, kShift.ahead1[r]);
          GiveDouble(a2, e, kShift.ahead2[r]);
          Give(bm2, e, 0.0625f);
          GiveDouble(bm1, e, kShift.backBelow[r]);
          GiveDouble(b0, e, kShift.below[r]);
          Give(b1, e, 0.125f);
          Give(b2, e, 0.0625f);
        } else {
          bool kernel = true;
          if constexpr (Method == 1) {
            if (e > -4096.0f && e < halfMiddle && previous == 0.0f && random.Next() % 4 != 0) {
              Give(a1, e, 0.75f);
              Give(bm1, e, 0.25f);
              kernel = false;
            }
          }
          if constexpr (Method == 2) {
            if (a1 > 0.0f && a1 < 16750.0f) {
              Give(a1, e, 0.5625f);
              Give(bm1, e, 0.4375f);
              kernel = false;
            }
          }
          if (kernel) {
            GiveBiased(a1, e, 0.15625f);
            GiveBiased(a2, e, 0.09375f);
            GiveBiased(bm2, e, 0.0625f);
            GiveBiased(bm1, e, 0.125f);
            GiveBiased(b0, e, 0.15625f);
            GiveBiased(b1, e, 0.125f);
            GiveBiased(b2, e, 0.0625f);
            GiveBiased(cm1, e, 0.0625f);
            GiveBiased(c0, e, 0.09375f);
            GiveBiased(c1, e, 0.0625f);
          }
        }
      }
      // Pixel k is final, and so are k - 2 below and k - 1 two rows below.
      r0.Store(k, v);
      previous = v;
      r1.Store(k - 2, bm2);
      r2.Store(k - 1, cm1);
      a0 = a1;
      a1 = a2;
      a2 = r0.Load(k + 3);
      bm2 = bm1;
      bm1 = b0;
      b0 = b1;
      b1 = b2;
      b2 = r1.Load(k + 3);
      cm1 = c0;
      c0 = c1;
      c1 = r2.Load(k + 2);
    }
    r1.Store(w - 2, bm2);
    r1.Store(w - 1, bm1);
    r2.Store(w - 1, cm1);
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
