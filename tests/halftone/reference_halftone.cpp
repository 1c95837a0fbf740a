#include "tests/halftone/reference_halftone.h"

#include <cmath>

#include "halftone/halftone.h"

namespace qm::test {

namespace {

constexpr float kFull = 65535.0f;

bool TakesShares(float v) { return 0.0f < v && v < kFull; }

// Gaussian noise by Box-Muller in double precision, two calls per pair of draws.
class Noise {
 public:
  explicit Noise(RandomSource random) : random_(random) {}
  float operator()() {
    first_ = !first_;
    if (!first_) return (zs_ + 1.0f) * 0.01f;
    float u1 = 0.0f, u2 = 0.0f;
    do {
      u1 = float(random_.Next() * (1.0 / 32767.0));
      u2 = float(random_.Next() * (1.0 / 32767.0));
    } while (u1 <= 1.1920929e-7f);
    const double radius = std::sqrt(-2.0 * std::log(double(u1)));
    const double angle = 2.0 * M_PI * double(u2);
    zs_ = float(radius * std::sin(angle));
    const float zc = float(radius * std::cos(angle));
    return (zs_ + zc) * 0.01f;
  }

 private:
  RandomSource random_;
  bool first_ = false;
  float zs_ = 0.0f;
};

float AtLeastZeroAtMostFull(float v) {
  if (v > kFull) v = kFull;
  return v > 0.0f ? v : 0.0f;
}

// A share in single precision (plus the bias, 0 where none is added).
void Add(float* to, float error, float weight, float bias) {
  if (to != nullptr && TakesShares(*to)) *to = AtLeastZeroAtMostFull(*to + error * weight + bias);
}
void AddInDouble(float* to, float error, double weight) {
  if (to != nullptr && TakesShares(*to)) *to = AtLeastZeroAtMostFull(float(double(*to) + double(error) * weight));
}

}  // namespace

void ReferenceHalftone(std::vector<float>& plane, uint32_t width, uint32_t height, const HalftoneCase& c) {
  if (c.method < 0 || c.method > 3 || width == 0 || height == 0) return;

  // Levels: 1 bit drops both intermediate levels; the dots code (1 small,
  // 10 middle, 100 large dot) then picks which exist.
  auto tone = [](int32_t v) { return v < 0 ? 0 : v > 65535 ? 65535 : v; };
  const int32_t presetD = c.bits == 1 ? 0 : tone(c.presetMiddle);
  const int32_t presetU = c.bits == 1 ? 0 : tone(c.presetLarge);
  int32_t d = presetD, u = presetU;
  if (c.useDots == 1) d = 0, u = 0;
  if (c.useDots == 10) d = 0, u = 65535;
  if (c.useDots == 100) d = 65535, u = 65535;
  if (c.useDots == 11) d = 0, u = presetD;
  if (c.useDots == 110) d = presetU, u = 65535;
  if (c.useDots == 101) u = presetD;
  const float D = float(d), U = float(u);

  // Thresholds: a dilution of 1 puts the threshold mid-interval, 0 at its top.
  const double keepLarge = double(1.0f - c.largeDilution), keepMiddle = double(1.0f - c.middleDilution);
  const float upper = float((keepLarge * (65535 - u) + u) / 2 + 32767.5);
  const float middle = float((double(u - d) * keepMiddle + double(u + d)) / 2);
  const float lower = float(d / 2.0);

  RandomSource draws = RandomSource::ForPlane(c.slot, c.band);
  if (c.method > 0) {
    Noise noise(RandomSource::ForNoise(c.slot, c.band));
    const float ceiling = c.method == 1 ? 35535.0f : kFull;
    for (float& v : plane) {
      if (300.0f < v && v < ceiling) {
        float n = v + 8192.0f * noise();
        n = n > 0.0f ? n : 0.0f;
        v = n < kFull ? n : kFull;
      }
    }
  }

  // The pixel at (x, y), or null outside the plane.
  auto at = [&](int64_t x, int64_t y) {
    return x < 0 || x >= int64_t(width) || y < 0 || y >= int64_t(height) ? nullptr : &plane[std::size_t(y * width + x)];
  };
  for (int64_t y = 0; y < height; ++y) {
    const int64_t dir = y % 2 == 0 ? 1 : -1;  // serpentine
    for (int64_t step = 0; step < int64_t(width); ++step) {
      const int64_t x = dir > 0 ? step : width - 1 - step;
      // A neighbour `ahead` columns along the scan and `down` rows below.
      auto n = [&](int64_t ahead, int64_t down) { return at(x + ahead * dir, y + down); };
      int32_t jitter = 0;
      if (c.method == 1) jitter = draws.Next() % 2001 - 1000;
      if (c.method == 2) jitter = draws.Next() % 2500;
      if (c.method == 3) jitter = draws.Next() % 3001 - 1500;
      float& p = *at(x, y);
      const float v = p;
      if (!TakesShares(v)) continue;
      float level = v;
      if (U < v && v < kFull) level = v >= upper + float(jitter) ? kFull : U;
      if (D < v && v < U) level = v >= middle + float(jitter) ? U : D;
      if (0.0f < v && v < D) level = v >= lower + float(jitter) ? D : 0.0f;
      p = level;
      const float e = v - level;

      if (c.method == 0) {
        const int32_t r = draws.Next() % 7 - 3;
        AddInDouble(n(1, 0), e, 0.25 + 0.0625 * r);
        AddInDouble(n(2, 0), e, 0.125 + 0.03125 * r);
        Add(n(-2, 1), e, 0.0625f, 0.0f);
        AddInDouble(n(-1, 1), e, (4 - r) * 0.03125);
        AddInDouble(n(0, 1), e, (4 - r) * 0.0625);
        Add(n(1, 1), e, 0.125f, 0.0f);
        Add(n(2, 1), e, 0.0625f, 0.0f);
        continue;
      }
      if (c.method == 1 && e > -4096.0f && e < float(d / 2) && n(-1, 0) != nullptr && *n(-1, 0) == 0.0f &&
          draws.Next() % 4 != 0) {
        Add(n(1, 0), e, 0.75f, 0.0f);
        Add(n(-1, 1), e, 0.25f, 0.0f);
        continue;
      }
      if (c.method == 2 && n(1, 0) != nullptr && *n(1, 0) > 0.0f && *n(1, 0) < 16750.0f) {
        Add(n(1, 0), e, 0.5625f, 0.0f);
        Add(n(-1, 1), e, 0.4375f, 0.0f);
        continue;
      }
      // The three-row kernel, in 32nds: 5 3 / 2 4 5 4 2 / 2 3 2, each share biased by 0.5.
      const int64_t cells[10][3] = {{1, 0, 5},  {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5},
                                    {1, 1, 4},  {2, 1, 2}, {-1, 2, 2}, {0, 2, 3},  {1, 2, 2}};
      for (const auto& cell : cells) Add(n(cell[0], cell[1]), e, float(cell[2]) / 32.0f, 0.5f);
    }
  }
}

}  // namespace qm::test
