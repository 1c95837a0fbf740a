// The halftoner: the curve against the Lagrange formula; the scan (every
// compiled build) and the row pipeline against the plain oracle, byte for
// byte, on a table of presets, dots codes, methods, shapes and contents; and
// what holds whatever the oracle says (mean ink, threads, streams).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "halftone/halftone.h"
#include "platform/parallel.h"
#include "tests/halftone/reference_halftone.h"

namespace qm {
namespace {

using Nodes = std::array<float, kNodeCount>;
constexpr Nodes kIdentity = {0.0f, 16383.75f, 32767.5f, 49151.25f, 65535.0f};

ActiveSetting Settings(const test::HalftoneCase& c) {
  ActiveSetting s;
  for (int k = 0; k < kSlotCount; ++k) s.linearIn[k] = s.linearOut[k] = kIdentity;
  s.linearOut[4] = {0, 11000, 25000, 42000, 65535};  // a dot-gain curve in slot 4
  s.middleDotLevel = c.presetMiddle, s.largeDotLevel = c.presetLarge, s.Bits = c.bits, s.UseDots = c.useDots;
  s.MiddleDotDilution = c.middleDilution, s.LargeDotDilution = c.largeDilution, s.DitherMethod = c.method;
  return s;
}

// Gradients with grain and patches of paper white and solid ink; with
// `specials`, also tones at the levels and tiny ones among all-24-bit tones.
std::vector<float> Plane(uint32_t width, uint32_t height, uint32_t seed, bool specials = false) {
  const float special[] = {0.0f, 19660.0f, 39321.0f, 65535.0f, 1e-3f, 6.1e-5f, 0x1p-14f, 3e-30f, 1e-45f};
  std::vector<float> plane(std::size_t(width) * height);
  uint32_t state = seed * 2654435761u + 12345u;
  for (std::size_t i = 0; i < plane.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    const uint32_t x = uint32_t(i % width), y = uint32_t(i / width);
    float v = 65535.0f * float(x + y) / float(width + height) + (float(state >> 20) - 2048.0f) * 2.0f;
    if ((x / 7 + y / 5) % 11 == 0) v = 0.0f;
    if ((x / 9 + y / 3) % 13 == 0) v = 65535.0f;
    if (specials) v = (state >> 24) < 80 ? special[(state >> 24) % 9] : float(state % 16777213u) / 256.0f;
    plane[i] = v < 0.0f ? 0.0f : (v > 65535.0f ? 65535.0f : v);
  }
  return plane;
}

// Every scan build and the row pipeline give the oracle's bytes, and nothing
// outside the plane is touched.
void ExpectOracleBytes(const test::HalftoneCase& c, const std::vector<float>& source, uint32_t w, uint32_t h) {
  const ActiveSetting s = Settings(c);
  const HalftoneParams params = HalftoneParams::Of(s);
  std::vector<float> expected = source;
  ApplyCurve(Curve::ForSlot(s, c.slot), expected.data(), expected.size());
  test::ReferenceHalftone(expected, w, h, c);
  const std::size_t bytes = expected.size() * sizeof(float), pad = 16;
  for (ScanIsa isa : {ScanIsa::kBaseline, ScanIsa::kFma}) {
    std::vector<float> buffer(source.size() + 2 * pad, 12345.0f);
    std::copy(source.begin(), source.end(), buffer.begin() + pad);
    if (!HalftonePlaneWith(isa, params, buffer.data() + pad, w, h, c.slot, c.band)) continue;  // not on this CPU
    ASSERT_EQ(std::memcmp(buffer.data() + pad, expected.data(), bytes), 0) << "isa " << int(isa);
    for (std::size_t i = 0; i < pad; ++i) ASSERT_TRUE(buffer[i] == 12345.0f && buffer[buffer.size() - 1 - i] == 12345.0f);
  }
  HalftoneRows rows(params, w, c.slot, c.band);
  std::vector<float> streamed;
  auto take = [&](const float* row) { if (row) streamed.insert(streamed.end(), row, row + w); };
  for (uint32_t y = 0; y < h; ++y) take(rows.Push(source.data() + std::size_t{y} * w));
  for (const float* row = rows.Flush(); row; row = rows.Flush()) take(row);
  ASSERT_EQ(std::memcmp(streamed.data(), expected.data(), bytes), 0) << "rows";
  // Two planes pushed together (the partner: the rows reversed, in the next
  // slot) each get the bytes they get alone.
  const std::vector<float> partner(source.rbegin(), source.rend());
  std::vector<float> partnerExpected = partner;
  const int32_t partnerSlot = (c.slot + 1) % kSlotCount;
  HalftonePlane(params, partnerExpected.data(), w, h, partnerSlot, c.band);
  HalftoneRows a(params, w, c.slot, c.band), b(params, w, partnerSlot, c.band);
  std::vector<float> pairedA, pairedB;
  for (uint32_t y = 0; y < h; ++y) {
    const auto [rowA, rowB] = HalftoneRows::PushTwo(a, source.data() + std::size_t{y} * w, b, partner.data() + std::size_t{y} * w);
    if (rowA) pairedA.insert(pairedA.end(), rowA, rowA + w);
    if (rowB) pairedB.insert(pairedB.end(), rowB, rowB + w);
  }
  for (const float* row = a.Flush(); row; row = a.Flush()) pairedA.insert(pairedA.end(), row, row + w);
  for (const float* row = b.Flush(); row; row = b.Flush()) pairedB.insert(pairedB.end(), row, row + w);
  ASSERT_EQ(std::memcmp(pairedA.data(), expected.data(), bytes), 0) << "paired rows";
  ASSERT_EQ(std::memcmp(pairedB.data(), partnerExpected.data(), bytes), 0) << "paired partner rows";
  std::vector<float> wholeA = source, wholeB = partner;
  HalftoneTwoPlanes(params, wholeA.data(), c.slot, wholeB.data(), partnerSlot, w, h, c.band);
  ASSERT_EQ(std::memcmp(wholeA.data(), expected.data(), bytes), 0) << "two planes";
  ASSERT_EQ(std::memcmp(wholeB.data(), partnerExpected.data(), bytes), 0) << "two planes, partner";
}

TEST(HalftonePlane, GivesTheOracleBytes) {
  const uint32_t shapes[][2] = {{1, 1}, {1, 9}, {9, 1}, {2, 3}, {5, 7}, {64, 48}, {123, 77}};
  for (const auto& shape : shapes) {
    for (int32_t method = 0; method <= 4; ++method) {
      for (int32_t code : {111, 110, 11, 101, 10, 100, 1}) {
        for (float dilution : {0.0f, 0.55f, 1.0f}) {
          const test::HalftoneCase c{19660, 39321, 2, code, dilution, 1.0f - dilution, method, 4, 3};
          SCOPED_TRACE(testing::Message() << shape[0] << "x" << shape[1] << " m" << method << " c" << code << " " << dilution);
          ExpectOracleBytes(c, Plane(shape[0], shape[1], uint32_t(method * 7 + code)), shape[0], shape[1]);
        }
      }
    }
  }
  // Other presets (1 bit, a start of 1, D = U), tones at and near the levels, tiny tones.
  const int32_t presets[][3] = {{19660, 39321, 1}, {8000, 60000, 2}, {0, 65536, 2}, {30000, 30000, 2}};
  for (const auto& p : presets) {
    for (int32_t method = 0; method <= 3; ++method) {
      for (int32_t code : {111, 11, 101}) {
        const test::HalftoneCase c{p[0], p[1], p[2], code, 0.7f, 0.4f, method, 0, 0};
        SCOPED_TRACE(testing::Message() << p[0] << "/" << p[1] << " bits " << p[2] << " m" << method << " c" << code);
        ExpectOracleBytes(c, Plane(151, 67, 99, true), 151, 67);
        for (float tone : {301.0f, 9000.0f, 19660.0f, 30000.0f, 50000.0f}) {
          ExpectOracleBytes(c, std::vector<float>(40 * 30, tone), 40, 30);
        }
      }
    }
  }
}

// Flat planes keep their ink on average (no fault shared with the oracle).
TEST(HalftonePlane, MeanInkMatchesTheCurveOnFlatPlanes) {
  for (int32_t method = 0; method <= 3; ++method) {
    for (int32_t code : {111, 10, 1}) {
      const ActiveSetting s = Settings({19660, 39321, 2, code, 0.8f, 0.6f, method, 4, 0});
      for (float tone : {1200.0f, 15000.0f, 33000.0f, 52000.0f}) {
        std::vector<float> plane(160 * 160, tone);
        HalftonePlane(HalftoneParams::Of(s), plane.data(), 160, 160, 4);
        double sum = 0.0;
        for (float v : plane) sum += v;
        EXPECT_NEAR(sum / plane.size(), Curve::ForSlot(s, 4)(tone), 0.01 * 65535) << method << " " << code;
      }
    }
  }
}

// The levels and flags the packer codes with, by dots code and bits.
TEST(HalftonePlane, LevelsAndFlagsOfEveryDotsCode) {
  constexpr int32_t D = 19660, U = 39321;
  const int32_t rows[][6] = {{1, 2, 0, 0, 0, 0},   {10, 2, 0, 65535, 1, 0},  {100, 2, 65535, 65535, 1, 1},
                             {11, 2, 0, D, 1, 0},  {110, 2, U, 65535, 1, 1}, {101, 2, D, D, 1, 1},
                             {111, 2, D, U, 1, 1}, {42, 2, D, U, 1, 1},      {110, 1, 0, 65535, 1, 1}};
  for (const auto& r : rows) {
    const DotLevels l = HalftoneParams::Of(Settings({D, U, r[1], r[0]})).levels;
    EXPECT_EQ((std::array{l.middle, l.large, l.middleEnabled, l.largeEnabled}), (std::array{r[2], r[3], r[4], r[5]}))
        << "UseDots " << r[0] << " bits " << r[1];
  }
}

// The same bytes with any number of threads; each slot and band its own streams.
TEST(HalftonePlane, SameBytesWithAnyThreadCountAndOwnStreamsPerPlane) {
  const HalftoneParams params = HalftoneParams::Of(Settings({19660, 39321, 2, 110, 0.7f, 0.7f, 3}));
  auto job = [&](int threads, uint32_t band) {
    std::vector<std::vector<float>> planes(kSlotCount, std::vector<float>(60 * 50, 30000.0f));
    ParallelFor(planes.size(), threads,
                [&](std::size_t k) { HalftonePlane(params, planes[k].data(), 60, 50, int32_t(k), band); });
    return planes;
  };
  const auto one = job(1, 0);
  EXPECT_EQ(one, job(18, 0));
  EXPECT_EQ(std::set<std::vector<float>>(one.begin(), one.end()).size(), one.size());
  EXPECT_NE(job(1, 1)[0], one[0]);
}

double Lagrange(const Nodes& xs, const Nodes& ys, double x) {
  double sum = 0.0;
  for (int i = 0; i < kNodeCount; ++i) {
    double term = ys[i];
    for (int j = 0; j < kNodeCount; ++j) term *= j == i ? 1.0 : (x - xs[j]) / (double(xs[i]) - xs[j]);
    sum += term;
  }
  return std::fmin(std::fmax(sum, 0.0), 65535.0);
}

// The curve against the formula in double (single precision with terms of
// up to ~1e5 that cancel: a few tone steps); every compiled curve loop gives
// the inline curve's bytes; nodes sharing an input give 0 or 65535, never NaN.
TEST(Curve, MatchesTheLagrangeFormulaInEveryBuild) {
  const struct { Nodes in, out; } curves[] = {
      {{0, 16384, 32768, 49151, 65535}, {0, 11000, 25000, 42000, 65535}},
      {{65535, 0, 49151, 16384, 32768}, {60000, 800, 45000, 9000, 26000}},
      {{0, 8000, 30000, 60000, 65535}, {0, 40000, 10000, 65535, 20000}},
      {{0, 20000, 20000, 50000, 65535}, {0, 15000, 30000, 45000, 65535}}};
  std::vector<float> tones;
  for (int i = 0; i <= 65535 * 4; i += 3) tones.push_back(float(i) * 0.25f);
  for (const auto& c : curves) {
    const Curve curve = Curve::FromNodes(c.in, c.out);
    const bool equalInputs = c.in[1] == c.in[2];
    for (float t : tones) {
      const double expected = equalInputs ? (curve(t) == 0.0f ? 0.0 : 65535.0) : Lagrange(c.in, c.out, t);
      ASSERT_NEAR(curve(t), expected, 2.0) << t;
    }
    std::vector<float> odd = tones;
    odd.insert(odd.end(), {-1.0f, -0.0f, 70000.0f, INFINITY, -INFINITY, NAN});
    for (CurveIsa isa : {CurveIsa::kBaseline, CurveIsa::kAvx2, CurveIsa::kAvx512}) {
      std::vector<float> plane = odd;
      if (!ApplyCurveWith(isa, curve, plane.data(), plane.size())) continue;
      for (std::size_t i = 0; i < plane.size(); ++i) {
        const float expected = curve(odd[i]);
        ASSERT_EQ(std::memcmp(&plane[i], &expected, sizeof(float)), 0) << "isa " << int(isa) << " tone " << odd[i];
      }
    }
  }
}

}  // namespace
}  // namespace qm
