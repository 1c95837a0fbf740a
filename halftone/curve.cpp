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

// A pure per-pixel function: compiled for AVX-512, AVX2 and the baseline, picked
// at load time. Only IEEE additions, multiplications and divisions in a fixed
// order (no contraction), so every variant gives the same bytes.
__attribute__((target_clones("avx512f", "avx2", "default")))
void CurveLoop(const Curve& curve, float* plane, std::size_t count) {
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

}  // namespace

void ApplyCurve(const Curve& curve, float* plane, std::size_t count) { CurveLoop(curve, plane, count); }

void ApplyCurve(const ActiveSetting& settings, float* plane, std::size_t count, int32_t slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  ApplyCurve(Curve::ForSlot(settings, slot), plane, count);
}

}  // namespace qm
