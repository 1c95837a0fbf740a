// The halftoner written out rule by rule on the plane in memory, with no
// attention to speed: the oracle that the fast scan must match byte for byte.
#include "tests/halftone/reference_halftone.h"

#include <cstddef>

namespace qm::test {

namespace {

constexpr float kNoiseFloor = 300.0f;
constexpr float kNoiseGain = 8192.0f;

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

float Limit(float v) {
  v = v < kFullTone ? v : kFullTone;
  return v > 0.0f ? v : 0.0f;
}

bool Open(float v) { return v > 0.0f && v < kFullTone; }

// The plane with the scan geometry of the row being visited.
class Scan {
 public:
  Scan(float* plane, uint32_t width, uint32_t height) : plane_(plane), width_(width), height_(height) {}

  void StartRow(uint32_t row) {
    row_ = row;
    dir_ = (row % 2 == 0) ? 1 : -1;
  }
  int64_t ColumnAt(uint32_t step) const { return dir_ > 0 ? step : int64_t(width_) - 1 - step; }

  // The pixel `ahead` columns in scan direction and `down` rows below, or null outside the plane.
  float* At(int64_t column, int ahead, int down) const {
    const int64_t c = column + ahead * dir_;
    const uint64_t r = uint64_t(row_) + down;
    if (c < 0 || c >= int64_t(width_) || r >= height_) return nullptr;
    return plane_ + r * width_ + c;
  }
  // Single precision share, with an optional bias.
  void Give(int64_t column, int ahead, int down, float e, float weight, float bias) const {
    float* p = At(column, ahead, down);
    if (p == nullptr || !Open(*p)) return;
    *p = Limit(*p + e * weight + bias);
  }
  void Give(int64_t column, int ahead, int down, float e, float weight) const {
    float* p = At(column, ahead, down);
    if (p == nullptr || !Open(*p)) return;
    *p = Limit(*p + e * weight);
  }
  // Share combined in double precision.
  void GiveDouble(int64_t column, int ahead, int down, float e, double weight) const {
    float* p = At(column, ahead, down);
    if (p == nullptr || !Open(*p)) return;
    *p = Limit(static_cast<float>(double(*p) + double(e) * weight));
  }

 private:
  float* plane_;
  uint32_t width_;
  uint32_t height_;
  uint32_t row_ = 0;
  int dir_ = 1;
};

struct Quantised {
  float level;
  float error;
};

Quantised Quantise(float v, int32_t jitter, const DotLevels& levels, const Thresholds& t) {
  const float u = static_cast<float>(levels.large);
  const float d = static_cast<float>(levels.middle);
  const float j = static_cast<float>(jitter);
  if (u < v && v < kFullTone) {
    if (v >= t.upper + j) return {kFullTone, v - kFullTone};
    return {u, v - u};
  }
  if (d < v && v < u) {
    if (v >= t.middle + j) return {u, v - u};
    return {d, v - d};
  }
  if (0.0f < v && v < d) {
    if (v >= t.lower + j) return {d, v - d};
    return {0.0f, v};
  }
  return {v, 0.0f};
}

void ThreeRowKernel(const Scan& s, int64_t c, float e) {
  constexpr float kBias = 0.5f;
  s.Give(c, 1, 0, e, 0.15625f, kBias);
  s.Give(c, 2, 0, e, 0.09375f, kBias);
  s.Give(c, -2, 1, e, 0.0625f, kBias);
  s.Give(c, -1, 1, e, 0.125f, kBias);
  s.Give(c, 0, 1, e, 0.15625f, kBias);
  s.Give(c, 1, 1, e, 0.125f, kBias);
  s.Give(c, 2, 1, e, 0.0625f, kBias);
  s.Give(c, -1, 2, e, 0.0625f, kBias);
  s.Give(c, 0, 2, e, 0.09375f, kBias);
  s.Give(c, 1, 2, e, 0.0625f, kBias);
}

void DiffuseMethod0(float* plane, uint32_t width, uint32_t height, const DotLevels& levels,
                    const Thresholds& t, RandomSource& random) {
  Scan s(plane, width, height);
  for (uint32_t y = 0; y < height; ++y) {
    s.StartRow(y);
    for (uint32_t k = 0; k < width; ++k) {
      const int64_t c = s.ColumnAt(k);
      float* p = s.At(c, 0, 0);
      const float v = *p;
      if (!Open(v)) continue;
      const Quantised q = Quantise(v, 0, levels, t);
      *p = q.level;
      const int32_t r = random.Next() % 7 - 3;
      const float e = q.error;
      s.GiveDouble(c, 1, 0, e, 0.25 + 0.0625 * r);
      s.GiveDouble(c, 2, 0, e, 0.125 + 0.03125 * r);
      s.Give(c, -2, 1, e, 0.0625f);
      s.GiveDouble(c, -1, 1, e, (4 - r) * 0.03125);
      s.GiveDouble(c, 0, 1, e, (4 - r) * 0.0625);
      s.Give(c, 1, 1, e, 0.125f);
      s.Give(c, 2, 1, e, 0.0625f);
    }
  }
}

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

void DiffuseNoisy(float* plane, uint32_t width, uint32_t height, int32_t method, const DotLevels& levels,
                  const Thresholds& t, RandomSource& random, RandomSource& noiseRandom) {
  NoisePass(plane, std::size_t(width) * height, method == 1 ? 35535.0f : kFullTone, noiseRandom);
  const float halfMiddle = static_cast<float>(levels.middle / 2);
  Scan s(plane, width, height);
  for (uint32_t y = 0; y < height; ++y) {
    s.StartRow(y);
    for (uint32_t k = 0; k < width; ++k) {
      const int64_t c = s.ColumnAt(k);
      int32_t jitter = 0;
      if (method == 1) {
        jitter = random.Next() % 2001 - 1000;
      } else if (method == 2) {
        jitter = random.Next() % 2500;
      } else {
        jitter = random.Next() % 3001 - 1500;
      }
      float* p = s.At(c, 0, 0);
      const float v = *p;
      if (!Open(v)) continue;
      const Quantised q = Quantise(v, jitter, levels, t);
      *p = q.level;
      const float e = q.error;
      if (method == 1) {
        const float* back = s.At(c, -1, 0);
        if (e > -4096.0f && e < halfMiddle && back != nullptr && *back == 0.0f && random.Next() % 4 != 0) {
          s.Give(c, 1, 0, e, 0.75f);
          s.Give(c, -1, 1, e, 0.25f);
          continue;
        }
      } else if (method == 2) {
        const float* next = s.At(c, 1, 0);
        if (next != nullptr && *next > 0.0f && *next < 16750.0f) {
          s.Give(c, 1, 0, e, 0.5625f);
          s.Give(c, -1, 1, e, 0.4375f);
          continue;
        }
      }
      ThreeRowKernel(s, c, e);
    }
  }
}

}  // namespace

float* ReferenceHalftonePlane(const ActiveSetting& settings, float* plane, uint32_t width, uint32_t height,
                              int32_t bits, float middleDotDilution, float largeDotDilution, int32_t useDots,
                              int32_t ditherMethod, int32_t slot, uint32_t band) {
  if (plane == nullptr || width == 0 || height == 0) return plane;
  const std::size_t count = std::size_t(width) * height;
  if (slot >= 0 && slot < kSlotCount) {
    const Curve curve = Curve::ForSlot(settings, slot);
    for (std::size_t i = 0; i < count; ++i) plane[i] = curve(plane[i]);
  }
  if (ditherMethod < 0 || ditherMethod > 3) return plane;

  const DotLevels levels = DeriveDotLevels(settings.middleDotLevel, settings.largeDotLevel, bits, useDots);
  const Thresholds t = MakeThresholds(levels, middleDotDilution, largeDotDilution);
  RandomSource random = RandomSource::ForPlane(slot, band);
  RandomSource noiseRandom = RandomSource::ForNoise(slot, band);
  if (ditherMethod == 0) {
    DiffuseMethod0(plane, width, height, levels, t, random);
  } else {
    DiffuseNoisy(plane, width, height, ditherMethod, levels, t, random, noiseRandom);
  }
  return plane;
}

}  // namespace qm::test
