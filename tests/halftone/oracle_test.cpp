// The fast scan against the straightforward halftoner, byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "halftone/halftone.h"
#include "tests/halftone/halftone_test_support.h"
#include "tests/halftone/reference_halftone.h"

namespace qm {
namespace {

void ExpectSameBytes(const std::vector<float>& fast, const std::vector<float>& oracle, const std::string& what) {
  ASSERT_EQ(fast.size(), oracle.size());
  for (std::size_t i = 0; i < fast.size(); ++i) {
    if (std::memcmp(&fast[i], &oracle[i], sizeof(float)) != 0) {
      FAIL() << what << ": first difference at pixel " << i << ": " << fast[i] << " vs " << oracle[i];
    }
  }
}

// Every instruction set the scan is compiled for that this CPU has.
std::vector<ScanIsa> AvailableIsas() {
  std::vector<ScanIsa> isas;
  for (ScanIsa isa : {ScanIsa::kBaseline, ScanIsa::kFma}) {
    float probe = 1.0f;
    if (HalftonePlaneWith(isa, test::SettingsWithLevels(0.3, 0.6), &probe, 1, 1, 2, 1.0f, 1.0f, 111, 0, 0)) {
      isas.push_back(isa);
    }
  }
  return isas;
}

std::string IsaName(ScanIsa isa) { return isa == ScanIsa::kFma ? "fma" : "baseline"; }

void ExpectMatch(const ActiveSetting& s, const std::vector<float>& plane, uint32_t width, uint32_t height,
                 float middleDilution, float largeDilution, int32_t code, int32_t method, int32_t slot,
                 const std::string& what) {
  std::vector<float> oracle = plane;
  test::ReferenceHalftonePlane(s, oracle.data(), width, height, 2, middleDilution, largeDilution, code, method,
                               slot, 3);
  for (ScanIsa isa : AvailableIsas()) {
    std::vector<float> fast = plane;
    ASSERT_TRUE(HalftonePlaneWith(isa, s, fast.data(), width, height, 2, middleDilution, largeDilution, code,
                                  method, slot, 3));
    ExpectSameBytes(fast, oracle, IsaName(isa) + " " + what);
  }
}

TEST(FastScan, MatchesTheReferenceForEveryMethodCodeAndShape) {
  ActiveSetting s = test::SettingsWithLevels(0.3, 0.6);
  s.linearOut[4] = {0, 11000, 25000, 42000, 65535};
  const uint32_t shapes[][2] = {{1, 1}, {1, 9}, {9, 1}, {2, 3}, {3, 2}, {4, 4}, {5, 7}, {64, 48}, {123, 77}};
  for (const auto& shape : shapes) {
    for (int32_t method = 0; method <= 4; ++method) {
      for (int32_t code : {111, 110, 11, 101, 10}) {
        for (float dilution : {0.0f, 0.55f, 1.0f}) {
          ExpectMatch(s, test::TexturedPlane(shape[0], shape[1], method * 7 + code), shape[0], shape[1], dilution,
                      1.0f - dilution, code, method, 4,
                      std::to_string(shape[0]) + "x" + std::to_string(shape[1]) + " method " +
                          std::to_string(method) + " code " + std::to_string(code));
        }
      }
    }
  }
}

// Flat tones near the levels exercise the exact-level and neighbour rules.
TEST(FastScan, MatchesTheReferenceOnFlatTones) {
  const ActiveSetting s = test::SettingsWithLevels(0.3, 0.6);
  for (int32_t method = 0; method <= 3; ++method) {
    for (float tone : {200.0f, 301.0f, 9000.0f, 19660.0f, 30000.0f, 39321.0f, 50000.0f, 65000.0f}) {
      ExpectMatch(s, std::vector<float>(90 * 70, tone), 90, 70, 0.8f, 0.6f, 111, method, 0,
                  "method " + std::to_string(method) + " tone " + std::to_string(tone));
    }
  }
}

// Tones with all 24 bits of the float in use, pixels exactly at 0, D, U and
// 65535, and neighbours below 2^-14, which method 0 cannot give its shares to
// with one rounding.
TEST(FastScan, MatchesTheReferenceAtTheLevelsAndOnTinyValues) {
  const ActiveSetting s = test::SettingsWithLevels(0.3, 0.6);
  const float d = float(int32_t(0.3 * 65536)), u = float(int32_t(0.6 * 65536));
  const float specials[] = {0.0f, d, u, 65535.0f, 1e-3f, 6.1e-5f, 0x1p-14f, 3e-30f, 2e-38f, 1e-45f};
  std::vector<float> plane(151 * 67);
  uint32_t state = 99;
  for (float& v : plane) {
    state = state * 1664525u + 1013904223u;
    const uint32_t pick = state >> 24;
    v = pick < 80 ? specials[pick % std::size(specials)] : float(state % 16777213u) * (65535.0f / 16777216.0f);
  }
  for (int32_t method = 0; method <= 3; ++method) {
    for (int32_t code : {111, 11, 101}) {
      // Slot 0 keeps identity nodes, so tiny tones stay tiny through the curve.
      ExpectMatch(s, plane, 151, 67, 0.7f, 0.4f, code, method, 0,
                  "method " + std::to_string(method) + " code " + std::to_string(code));
    }
  }
}

}  // namespace
}  // namespace qm
