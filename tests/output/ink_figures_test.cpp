// Ink figures of a small patch against counts worked out by hand, with the
// drop volumes and prices of an inks.txt written here.
#include "output/ink_figures.h"

#include <gtest/gtest.h>

#include "output/prn_file.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

using test::TempDir;
using test::WriteFileBytes;

// A 4 x 2 patch of ink values; for Bits 2 the codes are
//   00 01 10 11
//   11 11 00 01   -> n00 2, n01 2, n10 1, n11 3; 6 of 8 pixels have a dot.
const std::vector<float> kPatch = {0, 16384, 32768, 65535, 65535, 65535, 0, 16384};
const std::vector<float> kFull(8, 65535.0f);  // 8 large dots
const std::vector<float> kBlank(8, 0.0f);

struct Case {
  int bits;
  PrnDotCounts patchDots;
  double patchMl, fullMl;  // by the volumes of the file below
};

TEST(InkFigures, MatchHandCountsOfASmallPatch) {
  TempDir dir;
  WriteFileBytes(dir / "inks.txt",
                 "[Drop Volume]\r\nDropVolume01=2\r\nDropVolume10=5\r\nDropVolume11=10.5\r\n"
                 "DropVolume1=-3\r\nInkPrice=100\r\nInkPrice.S1=250\r\nInkPrice.L0=abc\r\n");
  const InkSettings inks = ReadInkSettings(dir / "inks.txt");
  EXPECT_EQ(inks.drop1, InkSettings{}.drop1);  // a negative volume keeps the default
  EXPECT_EQ(inks.PriceOf("L0"), 100.0);        // so does a price that is no number

  const Case cases[] = {
      {2, {2, 2, 1, 3}, (2 * 2 + 1 * 5 + 3 * 10.5) * 1e-9, 8 * 10.5 * 1e-9},
      {1, {2, 6, 0, 0}, 6 * 12.0 * 1e-9, 8 * 12.0 * 1e-9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("bits " + std::to_string(c.bits));
    const float* planes[] = {kPatch.data(), kFull.data(), kBlank.data(), kBlank.data()};
    const DotLevels levels{16384, 32768, 1, 1};
    ASSERT_TRUE(WritePrnFile(dir / "p.prn", 720, 720, 4, 2, c.bits, planes, levels));
    auto reader = PrnReader::Open(dir / "p.prn");
    const auto counts = CountPrnDots(*reader);
    ASSERT_TRUE(counts);
    EXPECT_EQ((*counts)[0], c.patchDots);

    const InkFigures patch = FiguresOf((*counts)[0], c.bits, 8, inks, "0");
    EXPECT_DOUBLE_EQ(patch.coverage, 0.75);
    EXPECT_DOUBLE_EQ(patch.inkMl, c.patchMl);
    EXPECT_DOUBLE_EQ(*patch.cost, c.patchMl / 1000 * 100);
    const InkFigures full = FiguresOf((*counts)[1], c.bits, 8, inks, "S1");
    EXPECT_DOUBLE_EQ(full.coverage, 1.0);
    EXPECT_DOUBLE_EQ(*full.cost, c.fullMl / 1000 * 250);

    const InkFigures none = FiguresOf((*counts)[2], c.bits, 8, InkSettings{}, "2");
    EXPECT_EQ(none.coverage, 0.0);
    EXPECT_FALSE(none.cost);  // no price, no cost
    const InkFigures parts[] = {patch, full};
    EXPECT_DOUBLE_EQ(TotalOf(parts).inkMl, c.patchMl + c.fullMl);
    const InkFigures unpriced[] = {patch, none};
    EXPECT_FALSE(TotalOf(unpriced).cost);
  }
}

}  // namespace
}  // namespace qm
