// The linearisation curve against the Lagrange formula in double, and every
// compiled variant of the curve loop against the inline curve.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "halftone/halftone.h"

namespace qm {
namespace {

using Nodes = std::array<float, kNodeCount>;

double Lagrange(const Nodes& xs, const Nodes& ys, double x) {
  double sum = 0.0;
  for (int i = 0; i < kNodeCount; ++i) {
    double term = ys[i];
    for (int j = 0; j < kNodeCount; ++j) {
      if (j != i) term *= (x - xs[j]) / (double(xs[i]) - xs[j]);
    }
    sum += term;
  }
  return std::fmin(std::fmax(sum, 0.0), 65535.0);
}

struct CurveCase {
  const char* name;
  Nodes in, out;
};

const CurveCase kCurves[] = {
    {"dot gain", {0, 16384, 32768, 49151, 65535}, {0, 11000, 25000, 42000, 65535}},
    {"unsorted", {65535, 0, 49151, 16384, 32768}, {60000, 800, 45000, 9000, 26000}},
    {"overshoot", {0, 8000, 30000, 60000, 65535}, {0, 40000, 10000, 65535, 20000}},
    {"light ink", {0, 13107, 26214, 45875, 65535}, {0, 20000, 36000, 50000, 52000}},
};

TEST(Curve, MatchesTheLagrangeFormula) {
  for (const CurveCase& c : kCurves) {
    std::vector<float> plane(1001);
    for (int i = 0; i <= 1000; ++i) plane[i] = 65.535f * i;
    ApplyCurve(Curve::FromNodes(c.in, c.out), plane.data(), plane.size());
    // Single precision with terms of up to ~1e5 that cancel: a few tone steps at most.
    for (int i = 0; i <= 1000; ++i) ASSERT_NEAR(plane[i], Lagrange(c.in, c.out, 65.535f * i), 2.0) << c.name << i;
  }
}

// Nodes sharing an input tone: a division by zero, which must give 0 or 65535, never NaN.
TEST(Curve, EqualInputNodesGiveFullOrNoInk) {
  ActiveSetting s;
  s.linearIn[3] = {0, 20000, 20000, 50000, 65535};
  s.linearOut[3] = {0, 15000, 30000, 45000, 65535};
  std::vector<float> plane(65536);
  for (int i = 0; i < 65536; ++i) plane[i] = float(i);
  ApplyCurve(s, plane.data(), plane.size(), 3);
  for (float v : plane) ASSERT_TRUE(v == 0.0f || v == 65535.0f) << v;
}

TEST(CurveDispatch, EveryInstructionSetGivesTheBytesOfTheInlineCurve) {
  std::vector<float> tones;
  for (int i = 0; i <= 65535 * 4; i += 3) tones.push_back(float(i) * 0.25f);
  for (float t : {-1.0f, -0.0f, 70000.0f, INFINITY, -INFINITY, NAN}) tones.push_back(t);
  int ran = 0;
  for (const CurveCase& c : kCurves) {
    const Curve curve = Curve::FromNodes(c.in, c.out);
    std::vector<float> expected(tones.size());
    for (std::size_t i = 0; i < tones.size(); ++i) expected[i] = curve(tones[i]);
    for (CurveIsa isa : {CurveIsa::kBaseline, CurveIsa::kAvx2, CurveIsa::kAvx512}) {
      std::vector<float> plane = tones;
      if (!ApplyCurveWith(isa, curve, plane.data(), plane.size())) continue;
      ++ran;
      ASSERT_EQ(std::memcmp(plane.data(), expected.data(), plane.size() * sizeof(float)), 0)
          << c.name << " isa " << int(isa);
    }
  }
  EXPECT_GE(ran, 4);  // the baseline runs everywhere
}

}  // namespace
}  // namespace qm
