// The fast scan against the straightforward halftoner, byte for byte.
#include <gtest/gtest.h>

#include <cstring>
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

TEST(FastScan, MatchesTheReferenceForEveryMethodCodeAndShape) {
  ActiveSetting s = test::SettingsWithLevels(0.3, 0.6);
  s.linearOut[4] = {0, 11000, 25000, 42000, 65535};
  const uint32_t shapes[][2] = {{1, 1}, {1, 9}, {9, 1}, {2, 3}, {3, 2}, {4, 4}, {5, 7}, {64, 48}, {123, 77}};
  for (const auto& shape : shapes) {
    for (int32_t method = 0; method <= 4; ++method) {
      for (int32_t code : {111, 110, 11, 101, 10}) {
        for (float dilution : {0.0f, 0.55f, 1.0f}) {
          std::vector<float> fast = test::TexturedPlane(shape[0], shape[1], method * 7 + code);
          std::vector<float> oracle = fast;
          HalftonePlane(s, fast.data(), shape[0], shape[1], 2, dilution, 1.0f - dilution, code, method, 4, 3);
          test::ReferenceHalftonePlane(s, oracle.data(), shape[0], shape[1], 2, dilution, 1.0f - dilution, code,
                                       method, 4, 3);
          ExpectSameBytes(fast, oracle,
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
      std::vector<float> fast(90 * 70, tone);
      std::vector<float> oracle = fast;
      HalftonePlane(s, fast.data(), 90, 70, 2, 0.8f, 0.6f, 111, method, 0);
      test::ReferenceHalftonePlane(s, oracle.data(), 90, 70, 2, 0.8f, 0.6f, 111, method, 0);
      ExpectSameBytes(fast, oracle, "method " + std::to_string(method) + " tone " + std::to_string(tone));
    }
  }
}

}  // namespace
}  // namespace qm
