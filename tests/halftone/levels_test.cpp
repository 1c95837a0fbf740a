#include "halftone/levels.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

constexpr int32_t kD = 19660;  // 0.3 x 65536
constexpr int32_t kU = 39321;  // 0.6 x 65536

struct LevelCase {
  int32_t useDots;
  int32_t middle, large, middleEnabled, largeEnabled;
};

TEST(DotLevels, EveryDotsCodeFromThePresetLevels) {
  const LevelCase cases[] = {
      {1, 0, 0, 0, 0},          {10, 0, 65535, 1, 0},   {100, 65535, 65535, 1, 1}, {11, 0, kD, 1, 0},
      {110, kU, 65535, 1, 1},   {101, kD, kD, 1, 1},    {111, kD, kU, 1, 1},       {42, kD, kU, 1, 1},
  };
  for (const LevelCase& c : cases) {
    const DotLevels l = DeriveDotLevels(kD, kU, 2, c.useDots);
    EXPECT_EQ(l.middle, c.middle) << "UseDots " << c.useDots;
    EXPECT_EQ(l.large, c.large) << "UseDots " << c.useDots;
    EXPECT_EQ(l.middleEnabled, c.middleEnabled) << "UseDots " << c.useDots;
    EXPECT_EQ(l.largeEnabled, c.largeEnabled) << "UseDots " << c.useDots;
  }
}

TEST(DotLevels, OneBitZeroesThePresetLevelsFirst) {
  for (int32_t code : {1, 10, 100, 11, 110, 101, 111}) {
    const DotLevels l = DeriveDotLevels(kD, kU, 1, code);
    EXPECT_TRUE(l.middle == 0 || l.middle == 65535) << code;
    EXPECT_TRUE(l.large == 0 || l.large == 65535) << code;
  }
  EXPECT_EQ(DeriveDotLevels(kD, kU, 1, 111).large, 0);
  EXPECT_EQ(DeriveDotLevels(kD, kU, 1, 110).middle, 0);
}

// Codes 11 and 110 once degraded the second plane of a job to two levels,
// because they were derived from the levels the first plane had stored.
TEST(DotLevels, SecondPlaneOfAJobKeepsTheLevelsOfTheFirst) {
  for (int32_t code : {11, 110}) {
    const DotLevels first = DeriveDotLevels(kD, kU, 2, code);
    const DotLevels second = DeriveDotLevels(kD, kU, 2, code);
    EXPECT_EQ(first.middle, second.middle);
    EXPECT_EQ(first.large, second.large);
    EXPECT_NE(second.middle, second.large) << "code " << code << " collapsed to two levels";
  }
}

}  // namespace
}  // namespace qm
