#include <algorithm>
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

// The generator is counter-based: value k depends only on the seed and k, so
// a block is worked out with the vector units.
[[gnu::always_inline]] inline void FillBody(uint64_t state, int32_t* out, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) {
    uint64_t z = state + (k + 1) * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    out[k] = static_cast<int32_t>(z >> 49);
  }
}
[[gnu::target("avx512f,avx512dq,avx512vl")]] void FillAvx512(uint64_t state, int32_t* out, std::size_t n) {
  FillBody(state, out, n);
}
[[gnu::target("avx2")]] void FillAvx2(uint64_t state, int32_t* out, std::size_t n) { FillBody(state, out, n); }
void FillBaseline(uint64_t state, int32_t* out, std::size_t n) { FillBody(state, out, n); }

using FillLoop = void (*)(uint64_t, int32_t*, std::size_t);

// Picked on first use rather than by an ifunc resolver, for the reason given
// in curve.cpp.
FillLoop PickFill() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx512vl")) {
    return FillAvx512;
  }
  if (__builtin_cpu_supports("avx2")) return FillAvx2;
  return FillBaseline;
}

}  // namespace

void RandomSource::Fill(int32_t* out, std::size_t n) {
  static const FillLoop fill = PickFill();
  fill(state_, out, n);
  state_ += n * 0x9E3779B97F4A7C15ull;
}

void GaussianNoise::FillPairs(float* out, std::size_t pairs) {
  // The integers come in blocks; a pair whose first uniform is at or below
  // epsilon is drawn again, so it gives no values.
  constexpr std::size_t kBlock = 256;
  int32_t raw[2 * kBlock];
  while (pairs > 0) {
    const std::size_t want = std::min(pairs, kBlock);
    random_->Fill(raw, 2 * want);
    for (std::size_t i = 0; i < want; ++i) {
      if (UniformOf(raw[2 * i]) <= kEpsilon) continue;
      Generate(raw[2 * i], raw[2 * i + 1]);
      *out++ = First();
      *out++ = Second();
      --pairs;
    }
  }
}

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
