#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "halftone/halftone.h"
#include "tests/halftone/halftone_test_support.h"

namespace qm {
namespace {

using test::DistinctValues;
using test::SettingsWithLevels;
using test::TexturedPlane;

constexpr int32_t kCodes[] = {1, 10, 100, 11, 110, 101, 111};

std::set<float> Allowed(const DotLevels& l) {
  return {0.0f, float(l.middle), float(l.large), 65535.0f};
}

TEST(HalftonePlane, OnlyTheFourLevelsComeOutForEveryMethodAndCode) {
  const ActiveSetting s = SettingsWithLevels(0.3, 0.6);
  for (int32_t bits : {1, 2}) {
    for (int32_t code : kCodes) {
      const DotLevels l = DeriveDotLevels(s.middleDotLevel, s.largeDotLevel, bits, code);
      for (int32_t method = 0; method <= 3; ++method) {
        std::vector<float> plane = TexturedPlane(97, 61, code + method);
        HalftonePlane(s, plane.data(), 97, 61, bits, 0.7f, 0.4f, code, method, 1);
        for (float v : DistinctValues(plane)) {
          ASSERT_TRUE(Allowed(l).count(v)) << v << " from method " << method << " code " << code << " bits " << bits;
        }
      }
    }
  }
}

TEST(HalftonePlane, OneBitGivesTwoLevels) {
  const ActiveSetting s = SettingsWithLevels(0.3, 0.6);
  for (int32_t method = 0; method <= 3; ++method) {
    std::vector<float> plane = TexturedPlane(80, 80);
    HalftonePlane(s, plane.data(), 80, 80, 1, 1.0f, 1.0f, 111, method, 0);
    EXPECT_EQ(DistinctValues(plane), (std::set<float>{0.0f, 65535.0f})) << "method " << method;
  }
}

// Flat planes keep their ink: the mean output equals the curve's output within
// 1 % of full tone (shares falling off the plane are lost; 256 x 256 keeps that small).
TEST(HalftonePlane, MeanInkMatchesTheCurveOnFlatPlanes) {
  ActiveSetting s = SettingsWithLevels(0.3, 0.6);
  s.linearOut[0] = {0, 11000, 25000, 42000, 65535};  // a dot-gain curve
  const Curve curve = Curve::ForSlot(s, 0);
  constexpr uint32_t kSide = 256;
  for (int32_t method = 0; method <= 3; ++method) {
    for (int32_t code : {111, 10, 1}) {
      for (float tone : {1200.0f, 7000.0f, 15000.0f, 26000.0f, 33000.0f, 41000.0f, 52000.0f, 63000.0f}) {
        std::vector<float> plane(kSide * kSide, tone);
        HalftonePlane(s, plane.data(), kSide, kSide, 2, 0.8f, 0.6f, code, method, 0);
        double sum = 0.0;
        for (float v : plane) sum += v;
        EXPECT_NEAR(sum / plane.size(), curve(tone), 0.01 * 65535)
            << "method " << method << " code " << code << " tone " << tone;
      }
    }
  }
}

// With a dilution of 0 the larger level of an interval is never chosen for a
// pixel inside it (method 0 has no jitter). Tones just above the lower level
// keep the error that builds up far below the larger level.
TEST(HalftonePlane, DilutionZeroKeepsTheLargerLevelOut) {
  const ActiveSetting s = SettingsWithLevels(0.3, 0.6);
  const DotLevels l = DeriveDotLevels(s.middleDotLevel, s.largeDotLevel, 2, 111);
  for (float above : {1.0f, 4.0f, 9.0f}) {
    std::vector<float> middle(128 * 128, float(l.middle) + above);
    HalftonePlane(s, middle.data(), 128, 128, 2, 0.0f, 1.0f, 111, 0, 0);
    EXPECT_EQ(DistinctValues(middle), std::set<float>{float(l.middle)}) << above;

    std::vector<float> large(128 * 128, float(l.large) + above);
    HalftonePlane(s, large.data(), 128, 128, 2, 1.0f, 0.0f, 111, 0, 0);
    EXPECT_EQ(DistinctValues(large), std::set<float>{float(l.large)}) << above;
  }
  // With dilution 1 the same tones just above the middle of the interval do use the larger level.
  const float half = (float(l.middle) + float(l.large)) * 0.5f + 10.0f;
  std::vector<float> plane(128 * 128, half);
  HalftonePlane(s, plane.data(), 128, 128, 2, 1.0f, 1.0f, 111, 0, 0);
  EXPECT_EQ(DistinctValues(plane), (std::set<float>{float(l.middle), float(l.large)}));
}

// Method 2 only raises its thresholds. A one-pixel plane has no neighbours, so
// its value at the visit is the curve value plus the first noise of its stream.
TEST(HalftonePlane, MethodTwoNeverLiftsAPixelBelowTheMiddleThreshold) {
  const ActiveSetting s = SettingsWithLevels(0.25, 0.75);
  const DotLevels l = DeriveDotLevels(s.middleDotLevel, s.largeDotLevel, 2, 111);
  const float tm = float(l.middle + l.large) * 0.5f;  // middle dilution 1
  int belowTm = 0, liftedInJitterRange = 0, keptInJitterRange = 0;
  for (uint32_t band = 0; band < 3000; ++band) {
    const float tone = tm - 150.0f + float(band % 5) * 100.0f;
    float pixel = tone;
    HalftonePlane(s, &pixel, 1, 1, 2, 1.0f, 1.0f, 111, 2, 6, band);
    RandomSource random = RandomSource::ForNoise(6, band);
    GaussianNoise noise(random);
    const float atVisit = tone + 8192.0f * noise();
    ASSERT_TRUE(pixel == float(l.middle) || pixel == float(l.large)) << pixel;
    if (atVisit < tm) {
      ++belowTm;
      ASSERT_EQ(pixel, float(l.middle)) << "lifted at " << atVisit << " below Tm " << tm;
    } else if (atVisit >= tm + 2500.0f) {
      ASSERT_EQ(pixel, float(l.large)) << atVisit;
    } else {
      (pixel == float(l.large) ? liftedInJitterRange : keptInJitterRange)++;
    }
  }
  EXPECT_GT(belowTm, 100);
  EXPECT_GT(liftedInJitterRange, 10);
  EXPECT_GT(keptInJitterRange, 10);
}

TEST(HalftonePlane, FlatEmptyAndSolidPlanesStayAsTheyAre) {
  const ActiveSetting s = SettingsWithLevels(0.3, 0.6);
  for (int32_t method = 0; method <= 3; ++method) {
    for (float tone : {0.0f, 65535.0f}) {
      std::vector<float> plane(50 * 40, tone);
      HalftonePlane(s, plane.data(), 50, 40, 2, 0.5f, 0.5f, 111, method, 0);
      EXPECT_EQ(DistinctValues(plane), std::set<float>{tone}) << "method " << method;
    }
  }
}

// Thin planes are processed without touching anything outside them.
TEST(HalftonePlane, ThinPlanesStayInsideTheirBuffer) {
  const ActiveSetting s = SettingsWithLevels(0.3, 0.6);
  const DotLevels l = DeriveDotLevels(s.middleDotLevel, s.largeDotLevel, 2, 111);
  constexpr float kGuard = 12345.0f;
  constexpr std::size_t kPad = 64;
  const uint32_t shapes[][2] = {{1, 1}, {1, 300}, {300, 1}, {2, 2}, {2, 77}, {77, 2}, {3, 5}};
  for (const auto& shape : shapes) {
    const std::size_t count = std::size_t(shape[0]) * shape[1];
    for (int32_t method = 0; method <= 3; ++method) {
      std::vector<float> buffer(count + 2 * kPad, kGuard);
      const std::vector<float> content = TexturedPlane(shape[0], shape[1], method);
      std::copy(content.begin(), content.end(), buffer.begin() + kPad);
      HalftonePlane(s, buffer.data() + kPad, shape[0], shape[1], 2, 0.5f, 0.5f, 111, method, 0);
      for (std::size_t i = 0; i < buffer.size(); ++i) {
        if (i < kPad || i >= kPad + count) {
          ASSERT_EQ(buffer[i], kGuard) << shape[0] << "x" << shape[1] << " method " << method;
        } else {
          ASSERT_TRUE(Allowed(l).count(buffer[i])) << buffer[i];
        }
      }
    }
  }
}

TEST(HalftonePlane, EmptyPlaneAndUnknownMethod) {
  const ActiveSetting s = SettingsWithLevels(0.3, 0.6);
  float pixel = 1234.0f;
  HalftonePlane(s, &pixel, 0, 5, 2, 0.5f, 0.5f, 111, 0, 0);
  HalftonePlane(s, &pixel, 5, 0, 2, 0.5f, 0.5f, 111, 0, 0);
  EXPECT_EQ(pixel, 1234.0f);
  std::vector<float> plane = TexturedPlane(40, 30);
  const std::vector<float> before = plane;
  EXPECT_EQ(HalftonePlane(s, plane.data(), 40, 30, 2, 0.5f, 0.5f, 111, 4, 0), plane.data());
  for (std::size_t i = 0; i < plane.size(); ++i) ASSERT_NEAR(plane[i], before[i], 0.02);
}

TEST(HalftonePlane, EqualInputNodesGiveFullOrNoInk) {
  ActiveSetting s = SettingsWithLevels(0.3, 0.6);
  s.linearIn[0] = {0, 30000, 30000, 50000, 65535};
  for (int32_t method : {0, 3}) {
    std::vector<float> plane = TexturedPlane(64, 64);
    HalftonePlane(s, plane.data(), 64, 64, 2, 0.5f, 0.5f, 111, method, 0);
    for (float v : plane) ASSERT_TRUE(v == 0.0f || v == 65535.0f) << v;
  }
}

// A pixel exactly at a level keeps it and passes no error: a plane at U stays U.
TEST(HalftonePlane, PixelsAtALevelKeepIt) {
  const ActiveSetting s = SettingsWithLevels(0.3, 0.6);
  const DotLevels l = DeriveDotLevels(s.middleDotLevel, s.largeDotLevel, 2, 111);
  for (float level : {float(l.middle), float(l.large)}) {
    std::vector<float> plane(64 * 64, level);
    HalftonePlane(s, plane.data(), 64, 64, 2, 0.5f, 0.5f, 111, 0, 0);
    EXPECT_EQ(DistinctValues(plane), std::set<float>{level});
  }
}

// Rows pushed one by one come back as HalftonePlane leaves the whole plane, for
// every method (4: curve only), thin and short planes, and a curve in force.
TEST(HalftoneRows, GiveTheBytesOfTheWholePlane) {
  ActiveSetting s = SettingsWithLevels(0.3, 0.6);
  s.linearOut[5] = {0.0f, 20000.0f, 36000.0f, 52000.0f, 65535.0f};
  for (int32_t method : {0, 1, 2, 3, 4}) {
    for (auto [w, h] : {std::pair<uint32_t, uint32_t>{1, 1}, {2, 2}, {3, 5}, {37, 1}, {37, 2}, {61, 43}}) {
      std::vector<float> whole = TexturedPlane(w, h, w + h);
      const std::vector<float> source = whole;
      HalftonePlane(s, whole.data(), w, h, 2, 0.5f, 0.7f, 111, method, 5, 3);
      HalftoneRows rows(s, w, 2, 0.5f, 0.7f, 111, method, 5, 3);
      std::vector<float> streamed;
      auto take = [&](const float* row) { if (row) streamed.insert(streamed.end(), row, row + w); };
      for (uint32_t y = 0; y < h; ++y) take(rows.Push(source.data() + std::size_t{y} * w));
      for (const float* row = rows.Flush(); row; row = rows.Flush()) take(row);
      ASSERT_EQ(streamed, whole) << "method " << method << ", " << w << " x " << h;
    }
  }
}

}  // namespace
}  // namespace qm
