#include "halftone/halftone.h"

namespace qm {

Curve Curve::FromNodes(const std::array<float, kNodeCount>& in,
                       const std::array<float, kNodeCount>& out) {
  Curve curve;
  curve.in = in;
  curve.out = out;
  for (int i = 0; i < kNodeCount; ++i) {
    float product = 1.0f;
    bool first = true;
    for (int j = 0; j < kNodeCount; ++j) {
      if (j == i) continue;
      const float difference = in[i] - in[j];
      product = first ? difference : product * difference;
      first = false;
    }
    curve.denominator[i] = product;
  }
  return curve;
}

Curve Curve::ForSlot(const ActiveSetting& settings, int32_t slot) {
  return FromNodes(settings.linearIn[slot], settings.linearOut[slot]);
}

namespace {

// A pure per-pixel function, compiled for AVX-512, AVX2 and the baseline. Only
// IEEE additions, multiplications and divisions in a fixed order (no
// contraction), so every variant gives the same bytes.
[[gnu::always_inline]] inline void CurveBody(const Curve& curve, float* plane, std::size_t count) {
  const float x0 = curve.in[0], x1 = curve.in[1], x2 = curve.in[2], x3 = curve.in[3], x4 = curve.in[4];
  const float y0 = curve.out[0], y1 = curve.out[1], y2 = curve.out[2], y3 = curve.out[3], y4 = curve.out[4];
  const float q0 = curve.denominator[0], q1 = curve.denominator[1], q2 = curve.denominator[2];
  const float q3 = curve.denominator[3], q4 = curve.denominator[4];
  for (std::size_t i = 0; i < count; ++i) {
    const float x = plane[i];
    const float d0 = x - x0, d1 = x - x1, d2 = x - x2, d3 = x - x3, d4 = x - x4;
    const float d01 = d0 * d1;
    const float d012 = d01 * d2;
    const float t0 = d1 * d2 * d3 * d4 * y0 / q0;
    const float t1 = d0 * d2 * d3 * d4 * y1 / q1;
    const float t2 = d01 * d3 * d4 * y2 / q2;
    const float t3 = d012 * d4 * y3 / q3;
    const float t4 = d012 * d3 * y4 / q4;
    const float sum = t0 + t1 + t2 + t3 + t4;
    const float low = sum > 0.0f ? sum : 0.0f;
    plane[i] = low < kFullTone ? low : kFullTone;
  }
}

[[gnu::target("avx512f")]] void CurveLoopAvx512(const Curve& curve, float* plane, std::size_t count) {
  CurveBody(curve, plane, count);
}
[[gnu::target("avx2")]] void CurveLoopAvx2(const Curve& curve, float* plane, std::size_t count) {
  CurveBody(curve, plane, count);
}
void CurveLoopBaseline(const Curve& curve, float* plane, std::size_t count) { CurveBody(curve, plane, count); }

using CurveLoop = void (*)(const Curve&, float*, std::size_t);

bool Supports(CurveIsa isa) {
  __builtin_cpu_init();
  switch (isa) {
    case CurveIsa::kAvx512:
      return __builtin_cpu_supports("avx512f");
    case CurveIsa::kAvx2:
      return __builtin_cpu_supports("avx2");
    default:
      return true;
  }
}

CurveLoop LoopFor(CurveIsa isa) {
  switch (isa) {
    case CurveIsa::kAvx512:
      return CurveLoopAvx512;
    case CurveIsa::kAvx2:
      return CurveLoopAvx2;
    default:
      return CurveLoopBaseline;
  }
}

// The variant is picked on the first call, in ordinary code. (Not by
// target_clones: its resolver is an ifunc that the dynamic loader runs before
// any runtime is set up, and a ThreadSanitizer build instruments it and
// crashes at load.)
CurveLoop PickLoop() {
  for (CurveIsa isa : {CurveIsa::kAvx512, CurveIsa::kAvx2}) {
    if (Supports(isa)) return LoopFor(isa);
  }
  return CurveLoopBaseline;
}

}  // namespace

void ApplyCurve(const Curve& curve, float* plane, std::size_t count) {
  static const CurveLoop loop = PickLoop();
  loop(curve, plane, count);
}

bool ApplyCurveWith(CurveIsa isa, const Curve& curve, float* plane, std::size_t count) {
  if (!Supports(isa)) return false;
  LoopFor(isa)(curve, plane, count);
  return true;
}

void ApplyCurve(const ActiveSetting& settings, float* plane, std::size_t count, int32_t slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  ApplyCurve(Curve::ForSlot(settings, slot), plane, count);
}

}  // namespace qm
