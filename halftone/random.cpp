#include <cmath>
#include <vector>

#include "halftone/halftone.h"

namespace qm {

namespace {

// sqrt(-2 ln u) and the sine and cosine of 2 pi u for every uniform the random
// source can give, in double precision. Filled once, read-only afterwards.
struct BoxMullerTables {
  std::vector<double> radius;
  std::vector<double> sine;
  std::vector<double> cosine;

  BoxMullerTables() : radius(RandomSource::kMax + 1), sine(RandomSource::kMax + 1), cosine(RandomSource::kMax + 1) {
    constexpr double kTwoPi = 2.0 * 3.14159265358979323846;
    for (int32_t r = 0; r <= RandomSource::kMax; ++r) {
      const double u = GaussianNoise::UniformOf(r);
      radius[r] = std::sqrt(-2.0 * std::log(u));  // r = 0 is never used: it is drawn again
      const double a = kTwoPi * u;
      sine[r] = std::sin(a);
      cosine[r] = std::cos(a);
    }
  }
};

const BoxMullerTables& Tables() {
  static const BoxMullerTables tables;
  return tables;
}

uint64_t Mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

RandomSource RandomSource::ForPlane(int32_t slot, uint32_t band) {
  const uint64_t key = (static_cast<uint64_t>(static_cast<uint32_t>(slot)) << 32) | band;
  return RandomSource(Mix(key ^ 0x51A7E5EEDull));
}

RandomSource RandomSource::ForNoise(int32_t slot, uint32_t band) {
  const uint64_t key = (static_cast<uint64_t>(static_cast<uint32_t>(slot)) << 32) | band;
  return RandomSource(Mix(Mix(key ^ 0x6E015Eull) + 0x9E3779B97F4A7C15ull));
}

GaussianNoise::GaussianNoise(RandomSource& random)
    : random_(&random),
      radius_(Tables().radius.data()),
      sine_(Tables().sine.data()),
      cosine_(Tables().cosine.data()) {}

}  // namespace qm
