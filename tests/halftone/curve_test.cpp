#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "halftone/halftone.h"
#include "tests/halftone/halftone_test_support.h"

namespace qm {
namespace {

using Nodes = std::array<float, kNodeCount>;

// The Lagrange polynomial through the nodes, in double, clamped to 0..65535.
double LagrangeOracle(const Nodes& xs, const Nodes& ys, double x) {
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

TEST(Curve, MatchesLagrangeFormulaAt1001Points) {
  for (const CurveCase& c : kCurves) {
    const Curve curve = Curve::FromNodes(c.in, c.out);
    std::vector<float> plane(1001);
    for (int i = 0; i <= 1000; ++i) plane[i] = 65.535f * i;
    ApplyCurve(curve, plane.data(), plane.size());
    for (int i = 0; i <= 1000; ++i) {
      const double expected = LagrangeOracle(c.in, c.out, 65.535f * i);
      // Single precision with terms of up to ~1e5 that cancel: a few tone steps at most.
      ASSERT_NEAR(plane[i], expected, 2.0) << c.name << " at point " << i;
      ASSERT_EQ(plane[i], curve(65.535f * i)) << "vector and scalar curve differ, " << c.name;
    }
  }
}

TEST(Curve, NodeInputsGiveTheirOutputs) {
  const CurveCase& c = kCurves[1];
  const Curve curve = Curve::FromNodes(c.in, c.out);
  for (int i = 0; i < kNodeCount; ++i) EXPECT_NEAR(curve(c.in[i]), c.out[i], 0.5) << i;
}

TEST(Curve, OvershootIsClampedToTheToneRange) {
  const CurveCase& c = kCurves[2];
  std::vector<float> plane(65536);
  for (int i = 0; i < 65536; ++i) plane[i] = float(i);
  ApplyCurve(Curve::FromNodes(c.in, c.out), plane.data(), plane.size());
  bool low = false, high = false;
  for (float v : plane) {
    ASSERT_TRUE(v >= 0.0f && v <= 65535.0f) << v;
    low |= v == 0.0f;
    high |= v == 65535.0f;
  }
  EXPECT_TRUE(low && high) << "this curve overshoots both ways";
}

TEST(Curve, IdentityNodesLeaveThePlaneUnchanged) {
  ActiveSetting s = test::SettingsWithLevels(0.3, 0.6);
  std::vector<float> plane = test::TexturedPlane(300, 200);
  const std::vector<float> before = plane;
  ApplyCurve(s, plane.data(), plane.size(), 5);
  for (std::size_t i = 0; i < plane.size(); ++i) ASSERT_NEAR(plane[i], before[i], 0.02) << i;
}

TEST(Curve, EqualInputNodesGiveFullOrNoInkNeverNaN) {
  ActiveSetting s;
  s.linearIn[3] = {0, 20000, 20000, 50000, 65535};
  s.linearOut[3] = {0, 15000, 30000, 45000, 65535};
  std::vector<float> plane(65536);
  for (int i = 0; i < 65536; ++i) plane[i] = float(i);
  ApplyCurve(s, plane.data(), plane.size(), 3);
  for (float v : plane) ASSERT_TRUE(v == 0.0f || v == 65535.0f) << v;
}

TEST(Curve, SlotWithoutNodesGivesZero) {
  ActiveSetting s = test::SettingsWithLevels(0.3, 0.6);
  s.linearIn[17] = {};
  s.linearOut[17] = {};
  std::vector<float> plane = test::TexturedPlane(64, 64);
  ApplyCurve(s, plane.data(), plane.size(), 17);
  for (float v : plane) ASSERT_EQ(v, 0.0f);
}

TEST(Curve, SlotSelectsTheCurve) {
  ActiveSetting s = test::SettingsWithLevels(0.3, 0.6);
  s.linearOut[2] = {0, 30000, 45000, 55000, 65535};
  std::vector<float> a(1, 32767.5f), b(1, 32767.5f);
  ApplyCurve(s, a.data(), 1, 2);
  ApplyCurve(s, b.data(), 1, 3);
  EXPECT_NEAR(a[0], 45000.0f, 0.5);
  EXPECT_NEAR(b[0], 32767.5f, 0.02);
}

// The curve loop is picked at the first call among variants compiled for
// several instruction sets (not by a target_clones ifunc, which the loader runs
// before a sanitizer runtime exists: ThreadSanitizer builds crashed at load).
// Whatever the CPU, every variant it has gives the bytes of the inline curve.
TEST(CurveDispatch, EveryInstructionSetGivesTheBytesOfTheInlineCurve) {
  std::vector<float> tones;
  for (int i = 0; i <= 65535 * 4; i += 3) tones.push_back(float(i) * 0.25f);
  for (float t : {-1.0f, -0.0f, 70000.0f, INFINITY, -INFINITY, NAN}) tones.push_back(t);
  std::vector<CurveCase> cases(std::begin(kCurves), std::end(kCurves));
  cases.push_back({"identity", test::kIdentityNodes, test::kIdentityNodes});
  cases.push_back({"equal inputs", {0, 30000, 30000, 50000, 65535}, {0, 11000, 25000, 42000, 65535}});
  int ran = 0;
  for (const CurveCase& c : cases) {
    const Curve curve = Curve::FromNodes(c.in, c.out);
    std::vector<float> expected(tones.size());
    for (std::size_t i = 0; i < tones.size(); ++i) expected[i] = curve(tones[i]);
    for (CurveIsa isa : {CurveIsa::kBaseline, CurveIsa::kAvx2, CurveIsa::kAvx512}) {
      std::vector<float> plane = tones;
      if (!ApplyCurveWith(isa, curve, plane.data(), plane.size())) continue;
      ++ran;
      for (std::size_t i = 0; i < plane.size(); ++i) {
        ASSERT_EQ(std::memcmp(&plane[i], &expected[i], sizeof(float)), 0)
            << c.name << " isa " << int(isa) << " tone " << tones[i] << ": " << plane[i] << " vs " << expected[i];
      }
    }
    std::vector<float> plane = tones;
    ApplyCurve(curve, plane.data(), plane.size());
    EXPECT_EQ(std::memcmp(plane.data(), expected.data(), plane.size() * sizeof(float)), 0) << c.name;
  }
  EXPECT_GE(ran, int(cases.size()));  // the baseline runs everywhere
}

}  // namespace
}  // namespace qm
