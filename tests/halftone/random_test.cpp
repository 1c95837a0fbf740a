#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "halftone/halftone.h"

namespace qm {
namespace {

TEST(RandomSource, ValuesCoverZeroTo32767) {
  RandomSource r = RandomSource::ForPlane(0, 0);
  int32_t low = RandomSource::kMax, high = 0;
  double sum = 0;
  constexpr int kDraws = 200000;
  for (int i = 0; i < kDraws; ++i) {
    const int32_t v = r.Next();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, RandomSource::kMax);
    low = std::min(low, v);
    high = std::max(high, v);
    sum += v;
  }
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, RandomSource::kMax);
  EXPECT_NEAR(sum / kDraws, 16383.5, 100);
}

TEST(RandomSource, EverySlotAndBandHasItsOwnStream) {
  std::set<std::vector<int32_t>> streams;
  for (int32_t slot = 0; slot < kSlotCount; ++slot) {
    for (uint32_t band = 0; band < 96; ++band) {
      RandomSource r = RandomSource::ForPlane(slot, band);
      std::vector<int32_t> head(8);
      for (int32_t& v : head) v = r.Next();
      streams.insert(head);
    }
  }
  EXPECT_EQ(streams.size(), std::size_t(kSlotCount) * 96);
  RandomSource a = RandomSource::ForPlane(4, 7), b = RandomSource::ForPlane(4, 7);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(a.Next(), b.Next());
}

// The Box-Muller cycle written out with the C library, from the same draws.
TEST(GaussianNoise, EqualsDirectBoxMullerBitForBit) {
  RandomSource forNoise = RandomSource::ForPlane(3, 0);
  RandomSource forOracle = RandomSource::ForPlane(3, 0);
  GaussianNoise noise(forNoise);
  float zs = 0.0f;
  for (int call = 0; call < 20000; ++call) {
    float expected = 0.0f;
    if (call % 2 == 0) {
      float u1 = 0.0f, u2 = 0.0f;
      do {
        u1 = static_cast<float>(forOracle.Next() * (1.0 / 32767.0));
        u2 = static_cast<float>(forOracle.Next() * (1.0 / 32767.0));
      } while (u1 <= 1.1920929e-7f);
      const double s = std::sqrt(-2.0 * std::log(double(u1)));
      const double a = 2.0 * 3.14159265358979323846 * u2;
      zs = static_cast<float>(s * std::sin(a));
      const float zc = static_cast<float>(s * std::cos(a));
      expected = (zs + zc) * 0.01f;
    } else {
      expected = (zs + 1.0f) * 0.01f;
    }
    ASSERT_EQ(noise(), expected) << "call " << call;
  }
}

TEST(RandomSource, FillGivesTheValuesOfNextAndMovesTheStreamOn) {
  RandomSource block = RandomSource::ForNoise(6, 1), single = RandomSource::ForNoise(6, 1);
  std::vector<int32_t> values(1000);
  for (std::size_t n : {std::size_t(1), std::size_t(7), std::size_t(64), std::size_t(1000)}) {
    block.Fill(values.data(), n);
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(values[i], single.Next()) << "block of " << n << ", value " << i;
  }
  EXPECT_EQ(block.Next(), single.Next());
}

// Long enough that several pairs start with 0 and are drawn again.
TEST(GaussianNoise, FillPairsGivesTheValuesOfSingleCalls) {
  RandomSource forBlock = RandomSource::ForNoise(2, 0), forCalls = RandomSource::ForNoise(2, 0);
  GaussianNoise block(forBlock), calls(forCalls);
  std::vector<float> values(2 * 300000);
  block.FillPairs(values.data(), 1000);
  block.FillPairs(values.data() + 2000, 299000);
  for (std::size_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], calls()) << "value " << i;
  EXPECT_EQ(block(), calls());
  EXPECT_EQ(forBlock.Next(), forCalls.Next());
}

TEST(GaussianNoise, OddAndEvenCallsHaveTheirSpread) {
  RandomSource r = RandomSource::ForPlane(9, 2);
  GaussianNoise noise(r);
  double sum[2] = {}, squares[2] = {};
  constexpr int kPairs = 100000;
  for (int i = 0; i < 2 * kPairs; ++i) {
    const double v = noise();
    sum[i % 2] += v;
    squares[i % 2] += v * v;
  }
  const double mean0 = sum[0] / kPairs, mean1 = sum[1] / kPairs;
  EXPECT_NEAR(mean0, 0.0, 0.0003);
  EXPECT_NEAR(std::sqrt(squares[0] / kPairs - mean0 * mean0), 0.01414, 0.0003);
  EXPECT_NEAR(mean1, 0.01, 0.0003);
  EXPECT_NEAR(std::sqrt(squares[1] / kPairs - mean1 * mean1), 0.01, 0.0003);
}

}  // namespace
}  // namespace qm
