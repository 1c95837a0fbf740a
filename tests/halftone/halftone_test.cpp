// The halftoner against the plain oracle, byte for byte, on a table of
// settings, shapes and plane contents; the row-by-row pipeline against the
// whole plane; and the properties that hold whatever the oracle says.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "halftone/halftone.h"
#include "platform/parallel.h"
#include "tests/halftone/reference_halftone.h"

namespace qm {
namespace {

constexpr std::array<float, kNodeCount> kIdentity = {0.0f, 16383.75f, 32767.5f, 49151.25f, 65535.0f};

ActiveSetting Settings(const test::HalftoneCase& c) {
  ActiveSetting s;
  for (int k = 0; k < kSlotCount; ++k) s.linearIn[k] = s.linearOut[k] = kIdentity;
  s.linearOut[4] = {0, 11000, 25000, 42000, 65535};  // a dot-gain curve in slot 4
  s.middleDotLevel = c.presetMiddle;
  s.largeDotLevel = c.presetLarge;
  s.Bits = c.bits;
  s.UseDots = c.useDots;
  s.MiddleDotDilution = c.middleDilution;
  s.LargeDotDilution = c.largeDilution;
  s.DitherMethod = c.method;
  return s;
}

// Gradients with grain and patches of paper white and solid ink.
std::vector<float> Textured(uint32_t width, uint32_t height, uint32_t seed) {
  std::vector<float> plane(std::size_t(width) * height);
  uint32_t state = seed * 2654435761u + 12345u;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      state = state * 1664525u + 1013904223u;
      float v = 65535.0f * float(x + y) / float(width + height) + (float(state >> 20) - 2048.0f) * 2.0f;
      if ((x / 7 + y / 5) % 11 == 0) v = 0.0f;
      if ((x / 9 + y / 3) % 13 == 0) v = 65535.0f;
      plane[std::size_t(y) * width + x] = v < 0.0f ? 0.0f : (v > 65535.0f ? 65535.0f : v);
    }
  }
  return plane;
}

// Tones using all 24 bits, pixels exactly at 0, D, U and 65535, and tiny ones.
std::vector<float> Specials(uint32_t width, uint32_t height) {
  const float specials[] = {0.0f, 19660.0f, 39321.0f, 65535.0f, 1e-3f, 6.1e-5f, 0x1p-14f, 3e-30f, 1e-45f};
  std::vector<float> plane(std::size_t(width) * height);
  uint32_t state = 99;
  for (float& v : plane) {
    state = state * 1664525u + 1013904223u;
    v = (state >> 24) < 80 ? specials[(state >> 24) % 9] : float(state % 16777213u) * (65535.0f / 16777216.0f);
  }
  return plane;
}

std::vector<ScanIsa> Isas() {
  std::vector<ScanIsa> isas;
  const HalftoneParams params = HalftoneParams::Of(Settings({}));
  for (ScanIsa isa : {ScanIsa::kBaseline, ScanIsa::kFma}) {
    float probe = 1.0f;
    if (HalftonePlaneWith(isa, params, &probe, 1, 1, 0)) isas.push_back(isa);
  }
  return isas;
}

// Every scan build and the row pipeline give the oracle's bytes, and nothing
// outside the plane is touched.
void ExpectOracleBytes(const test::HalftoneCase& c, const std::vector<float>& source, uint32_t w, uint32_t h,
                       const std::string& what) {
  const ActiveSetting s = Settings(c);
  const HalftoneParams params = HalftoneParams::Of(s);
  std::vector<float> expected = source;
  ApplyCurve(Curve::ForSlot(s, c.slot), expected.data(), expected.size());
  test::ReferenceHalftone(expected, w, h, c);
  constexpr std::size_t kPad = 16;
  for (ScanIsa isa : Isas()) {
    std::vector<float> buffer(source.size() + 2 * kPad, 12345.0f);
    std::copy(source.begin(), source.end(), buffer.begin() + kPad);
    ASSERT_TRUE(HalftonePlaneWith(isa, params, buffer.data() + kPad, w, h, c.slot, c.band));
    ASSERT_EQ(std::memcmp(buffer.data() + kPad, expected.data(), expected.size() * sizeof(float)), 0)
        << what << " isa " << int(isa);
    for (std::size_t i = 0; i < kPad; ++i) ASSERT_TRUE(buffer[i] == 12345.0f && buffer[buffer.size() - 1 - i] == 12345.0f);
  }
  HalftoneRows rows(params, w, c.slot, c.band);
  std::vector<float> streamed;
  auto take = [&](const float* row) { if (row) streamed.insert(streamed.end(), row, row + w); };
  for (uint32_t y = 0; y < h; ++y) take(rows.Push(source.data() + std::size_t{y} * w));
  for (const float* row = rows.Flush(); row; row = rows.Flush()) take(row);
  ASSERT_EQ(std::memcmp(streamed.data(), expected.data(), expected.size() * sizeof(float)), 0) << what << " rows";
}

TEST(HalftonePlane, GivesTheOracleBytesOnATableOfSettings) {
  const uint32_t shapes[][2] = {{1, 1}, {1, 9}, {9, 1}, {2, 3}, {5, 7}, {64, 48}, {123, 77}};
  for (const auto& shape : shapes) {
    for (int32_t method = 0; method <= 4; ++method) {
      for (int32_t code : {111, 110, 11, 101, 10, 100, 1}) {
        for (float dilution : {0.0f, 0.55f, 1.0f}) {
          test::HalftoneCase c;
          c.useDots = code, c.method = method, c.slot = 4, c.band = 3;
          c.middleDilution = dilution, c.largeDilution = 1.0f - dilution;
          ExpectOracleBytes(c, Textured(shape[0], shape[1], uint32_t(method * 7 + code)), shape[0], shape[1],
                            std::to_string(shape[0]) + "x" + std::to_string(shape[1]) + " method " +
                                std::to_string(method) + " code " + std::to_string(code));
        }
      }
    }
  }
}

TEST(HalftonePlane, GivesTheOracleBytesOnLevelsFlatTonesAndOtherPresets) {
  struct Row { int32_t middle, large, bits; float md, ld; };
  const Row presets[] = {{19660, 39321, 2, 0.7f, 0.4f}, {19660, 39321, 1, 0.5f, 0.5f}, {8000, 60000, 2, 0.2f, 0.9f},
                         {0, 65536, 2, 1.0f, 0.0f},     {30000, 30000, 2, 0.5f, 0.5f}};
  for (const Row& p : presets) {
    for (int32_t method = 0; method <= 3; ++method) {
      for (int32_t code : {111, 11, 101}) {
        test::HalftoneCase c{p.middle, p.large, p.bits, code, p.md, p.ld, method, 0, 0};
        const std::string what = "preset " + std::to_string(p.middle) + "/" + std::to_string(p.large) + " bits " +
                                 std::to_string(p.bits) + " method " + std::to_string(method) + " code " +
                                 std::to_string(code);
        ExpectOracleBytes(c, Specials(151, 67), 151, 67, what);
        for (float tone : {0.0f, 301.0f, 9000.0f, 19660.0f, 30000.0f, 50000.0f, 65535.0f}) {
          ExpectOracleBytes(c, std::vector<float>(40 * 30, tone), 40, 30, what + " tone " + std::to_string(tone));
        }
      }
    }
  }
}

// Flat planes keep their ink on average (a check the oracle cannot share a fault with).
TEST(HalftonePlane, MeanInkMatchesTheCurveOnFlatPlanes) {
  for (int32_t method = 0; method <= 3; ++method) {
    for (int32_t code : {111, 10, 1}) {
      test::HalftoneCase c;
      c.useDots = code, c.method = method, c.middleDilution = 0.8f, c.largeDilution = 0.6f;
      const ActiveSetting s = Settings(c);
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

// Dots codes: the levels the packer codes with, and their flags.
TEST(HalftoneParams, LevelsAndFlagsOfEveryDotsCode) {
  constexpr int32_t kD = 19660, kU = 39321;
  const int32_t rows[][6] = {{1, 2, 0, 0, 0, 0},         {10, 2, 0, 65535, 1, 0},   {100, 2, 65535, 65535, 1, 1},
                             {11, 2, 0, kD, 1, 0},       {110, 2, kU, 65535, 1, 1}, {101, 2, kD, kD, 1, 1},
                             {111, 2, kD, kU, 1, 1},     {42, 2, kD, kU, 1, 1},     {111, 1, 0, 0, 1, 1},
                             {110, 1, 0, 65535, 1, 1}};
  for (const auto& r : rows) {
    test::HalftoneCase c;
    c.useDots = r[0], c.bits = r[1];
    const DotLevels l = HalftoneParams::Of(Settings(c)).levels;
    EXPECT_EQ((std::array<int32_t, 4>{l.middle, l.large, l.middleEnabled, l.largeEnabled}),
              (std::array<int32_t, 4>{r[2], r[3], r[4], r[5]}))
        << "UseDots " << r[0] << " bits " << r[1];
  }
}

// The planes of a job: the same bytes with any number of threads, and each
// slot and band with its own random streams.
TEST(HalftonePlane, SameBytesWithAnyThreadCountAndOwnStreamsPerPlane) {
  test::HalftoneCase c;
  c.useDots = 110, c.method = 3, c.middleDilution = c.largeDilution = 0.7f;
  const HalftoneParams params = HalftoneParams::Of(Settings(c));
  auto job = [&](int threads) {
    std::vector<std::vector<float>> planes(kSlotCount, std::vector<float>(60 * 50, 30000.0f));
    ParallelFor(planes.size(), threads,
                [&](std::size_t k) { HalftonePlane(params, planes[k].data(), 60, 50, int32_t(k)); });
    return planes;
  };
  const auto one = job(1);
  EXPECT_EQ(one, job(18));
  EXPECT_EQ(std::set<std::vector<float>>(one.begin(), one.end()).size(), one.size());
  std::vector<float> band1(60 * 50, 30000.0f);
  HalftonePlane(params, band1.data(), 60, 50, 0, 1);
  EXPECT_NE(band1, one[0]);
}

}  // namespace
}  // namespace qm
