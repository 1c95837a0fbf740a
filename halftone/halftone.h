// Halftoning of one ink plane: the linearisation curve of its slot, then
// multi-level error diffusion into 0, D, U and 65535 (D and U from levels.h).
//
// Units: tones are 32-bit floats on 0..65535, 65535 = full ink. A plane is
// width x height floats, row-major, owned by the caller and rewritten in
// place; no plane-sized buffer is allocated (a few rows of scratch at most).
//
// Determinism: every call creates its own random streams and noise state,
// seeded from (slot, band). Nothing mutable is shared between calls, so the
// same arguments give the same bytes on any thread, with any number of
// planes halftoned at once, and from run to run. A HalftoneParams value is only
// read; it may be shared by all the workers of a job.
//
// Errors: none are reported; nothing is thrown but std::bad_alloc for the one
// scratch row of the scan. Every input has a defined
// result: an empty plane is left as it is; a curve whose nodes share an input
// tone gives 0 where the polynomial is not a number, 65535 at +inf, 0 at -inf;
// a DitherMethod other than 0..3 leaves the curve values; a slot outside
// 0..17 has no curve (the plane is taken as it is).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "halftone/levels.h"
#include "settings/active_setting.h"

namespace qm {

inline constexpr float kFullTone = 65535.0f;

// The tone curve of one slot: the degree-4 polynomial through five nodes,
// evaluated in single precision. The denominators depend on the nodes only
// and are computed once.
struct Curve {
  std::array<float, kNodeCount> in{};
  std::array<float, kNodeCount> out{};
  std::array<float, kNodeCount> denominator{};

  static Curve FromNodes(const std::array<float, kNodeCount>& in,
                         const std::array<float, kNodeCount>& out);
  // The curve of settings slot `slot`, which must be in 0..17.
  static Curve ForSlot(const ActiveSetting& settings, int32_t slot);

  // The clamped curve value of one tone (NaN gives 0).
  float operator()(float x) const {
    const float d0 = x - in[0], d1 = x - in[1], d2 = x - in[2], d3 = x - in[3], d4 = x - in[4];
    const float t0 = d1 * d2 * d3 * d4 * out[0] / denominator[0];
    const float t1 = d0 * d2 * d3 * d4 * out[1] / denominator[1];
    const float t2 = d0 * d1 * d3 * d4 * out[2] / denominator[2];
    const float t3 = d0 * d1 * d2 * d4 * out[3] / denominator[3];
    const float t4 = d0 * d1 * d2 * d3 * out[4] / denominator[4];
    const float sum = t0 + t1 + t2 + t3 + t4;
    const float low = sum > 0.0f ? sum : 0.0f;  // NaN fails the test and gives 0
    return low < kFullTone ? low : kFullTone;
  }
};

// Passes `count` pixels of `plane` through the curve of `slot`, in place
// (nothing is done for a slot outside 0..17).
void ApplyCurve(const ActiveSetting& settings, float* plane, std::size_t count, int32_t slot);
void ApplyCurve(const Curve& curve, float* plane, std::size_t count);

// The curve loop is compiled for these instruction sets; ApplyCurve runs the
// widest one the CPU has. ApplyCurveWith runs the one named (all give the same
// bytes), or returns false and leaves the plane when the CPU lacks it.
enum class CurveIsa { kBaseline, kAvx2, kAvx512 };
bool ApplyCurveWith(CurveIsa isa, const Curve& curve, float* plane, std::size_t count);

// The random source of one plane: integers 0..32767 from a counter-based
// generator (SplitMix64, top 15 bits). Cheap to copy; each plane owns one.
class RandomSource {
 public:
  static constexpr int32_t kMax = 32767;

  explicit RandomSource(uint64_t seed) : state_(seed) {}
  // The streams of the plane at `slot` (and `band` of the band renderer): one
  // for the scan (threshold jitter, weight shifts) and one for the noise pass.
  static RandomSource ForPlane(int32_t slot, uint32_t band);
  static RandomSource ForNoise(int32_t slot, uint32_t band);

  // The next n values into out, as n calls of Next() would give them.
  void Fill(int32_t* out, std::size_t n);

  int32_t Next() {
    state_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<int32_t>(z >> 49);
  }

 private:
  uint64_t state_;
};

// Box-Muller noise with a two-call cycle: the first call of each pair draws
// two uniforms (again while the first is at or below float epsilon), stores
// the sine and cosine variates and returns (zs + zc) x 0.01; the second
// returns (zs + 1) x 0.01. The logarithm, square root, sine and cosine come
// from tables indexed by the drawn integers, filled once per process with the
// C library's functions, so values equal a direct evaluation bit for bit.
class GaussianNoise {
 public:
  explicit GaussianNoise(RandomSource& random);

  float operator()() {
    if (generate_) {
      int32_t r1 = 0, r2 = 0;
      do {
        r1 = random_->Next();
        r2 = random_->Next();
      } while (UniformOf(r1) <= kEpsilon);
      Generate(r1, r2);
      generate_ = false;
      return First();
    }
    generate_ = true;
    return Second();
  }

  // The next 2 x pairs values into out, as that many calls would give them;
  // called in the generate phase, it leaves the phase as it found it.
  void FillPairs(float* out, std::size_t pairs);

  static constexpr float kEpsilon = 1.1920929e-7f;
  // The uniform of a drawn integer: r x (1 / 32767) in double, kept as float.
  static float UniformOf(int32_t r) { return static_cast<float>(r * (1.0 / 32767.0)); }

 private:
  // The pair of variates from the drawn integers, and the two values they give.
  void Generate(int32_t r1, int32_t r2) {
    const double s = radius_[r1];
    zs_ = static_cast<float>(s * sine_[r2]);
    zc_ = static_cast<float>(s * cosine_[r2]);
  }
  float First() const { return (zs_ + zc_) * 0.01f; }
  float Second() const { return (zs_ + 1.0f) * 0.01f; }

  RandomSource* random_;
  const double* radius_;  // sqrt(-2 ln u1) by drawn integer
  const double* sine_;    // sin(2 pi u2) by drawn integer
  const double* cosine_;  // cos(2 pi u2) by drawn integer
  bool generate_ = true;
  float zs_ = 0.0f;
  float zc_ = 0.0f;
};

// The halftoning of a job, derived once from the settings: the curve of every
// slot, the dot levels and flags (Bits and UseDots, see DeriveDotLevels), the
// two dilutions and the dither method. Every plane of a job, whole or in rows,
// in any thread, is halftoned from one value.
struct HalftoneParams {
  std::array<Curve, kSlotCount> curves{};
  DotLevels levels;
  float middleDotDilution = 1.0f;
  float largeDotDilution = 1.0f;
  int32_t ditherMethod = 0;

  static HalftoneParams Of(const ActiveSetting& settings);
};

// Linearises plane through the curve of `slot`, then halftones it by the
// dither method (0: two-row kernel with random weight shift; 1..3: noise
// pass, threshold jitter and three-row kernel) against params.levels.
// `band` separates the random streams of the bands of one plane. Returns plane.
float* HalftonePlane(const HalftoneParams& params, float* plane, uint32_t width, uint32_t height, int32_t slot,
                     uint32_t band = 0);

// HalftonePlane on two planes of one size at once, on one thread, each with
// its own slot: each gets the bytes HalftonePlane gives it, but their scans
// run side by side, which takes less time than one after the other.
void HalftoneTwoPlanes(const HalftoneParams& params, float* a, int32_t slotA, float* b, int32_t slotB,
                       uint32_t width, uint32_t height, uint32_t band = 0);

// HalftonePlane row by row, for planes that arrive in rows (a plane still
// being rendered, or one never held whole): the rows pushed top to bottom come
// back, two rows later, exactly as HalftonePlane would leave them in the whole
// plane (same curve, noise, draws and diffusion), so a plane gives the same
// bytes either way. Holds three rows; one object per plane, used by one thread
// at a time.
class HalftoneRows {
 public:
  HalftoneRows(const HalftoneParams& params, uint32_t width, int32_t slot, uint32_t band = 0);
  ~HalftoneRows();
  HalftoneRows(const HalftoneRows&) = delete;
  HalftoneRows& operator=(const HalftoneRows&) = delete;

  // Takes the next row (`width` tones) and returns the row two above it,
  // finished, or nullptr for the first two rows. The returned row stays valid
  // until the next call.
  const float* Push(const float* row);
  // Push on two objects at once (two planes on one thread): what a.Push(rowA)
  // and b.Push(rowB) return, but rows of the same width, method and place
  // are scanned side by side, which takes less time than one after the other.
  static std::pair<const float*, const float*> PushTwo(HalftoneRows& a, const float* rowA, HalftoneRows& b,
                                                       const float* rowB);
  // After the last row: each finished row still held, then nullptr.
  const float* Flush();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The scan is compiled for the baseline and for CPUs with AVX2 and FMA; both
// give the same bytes. HalftonePlane runs the widest the CPU has;
// HalftonePlaneWith runs the one named, or returns false, leaving the plane,
// when the CPU lacks it.
enum class ScanIsa { kBaseline, kFma };
bool HalftonePlaneWith(ScanIsa isa, const HalftoneParams& params, float* plane, uint32_t width, uint32_t height,
                       int32_t slot, uint32_t band = 0);

}  // namespace qm
