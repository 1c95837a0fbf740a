// Band geometry as a pure function: where bands read and where they write.
#include "output/band_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qm {
namespace {

// Checks that the bands of a plane join exactly: band b starts at b x Hb,
// the written rows cover 0..H-1 once, every crop lies inside the plane and
// holds every source row the filter of a written row reaches, and the strip
// holds the written rows.
void ExpectBandsJoin(uint32_t rows, double from, double to) {
  SCOPED_TRACE(std::to_string(rows) + " rows, " + std::to_string(from) + " -> " + std::to_string(to));
  const BandLayout layout = MakeBandLayout(rows, from, to);
  ASSERT_EQ(layout.outputRows, ResampledSize(rows, from, to));
  const double reach = to < from ? 3.0 * layout.sourceRows / layout.outputRows : 2.0;
  uint32_t next = 0;
  for (uint32_t b = 0; b < kBandCount; ++b) {
    const BandPlan plan = PlanBand(layout, b);
    EXPECT_EQ(plan.outFirst, b * layout.bandRows) << "band " << b;
    EXPECT_EQ(plan.outFirst, next) << "band " << b;
    next = plan.outFirst + plan.outCount;
    if (plan.outCount == 0) continue;
    EXPECT_LE(plan.cropTop + plan.cropRows, rows) << "band " << b;
    EXPECT_LE(plan.stripFirst + DroppedRows(plan), plan.outFirst) << "band " << b;
    EXPECT_LE(plan.outFirst + plan.outCount, plan.stripFirst + plan.stripRows) << "band " << b;
    const double firstTap = std::floor((plan.outFirst + 0.5) / layout.scale - reach + 0.5);
    const double lastTap = std::floor((plan.outFirst + plan.outCount - 0.5) / layout.scale + reach + 0.5);
    EXPECT_LE(plan.cropTop, std::max(0.0, firstTap)) << "band " << b;
    EXPECT_GE(plan.cropTop + plan.cropRows, std::min<double>(rows, lastTap)) << "band " << b;
  }
  EXPECT_EQ(next, layout.outputRows);
}

TEST(BandGeometry, BandsJoinWithoutGapOrSeam) {
  ExpectBandsJoin(9600, 360, 720);   // 2
  ExpectBandsJoin(9650, 360, 720);   // the last band takes the remainder
  ExpectBandsJoin(0, 360, 720);      // no rows, no bands
  ExpectBandsJoin(9600, 300, 720);   // 2.4
  ExpectBandsJoin(9650, 300, 720);
  ExpectBandsJoin(9601, 300, 720);   // H = 23042.4 rounds down
  ExpectBandsJoin(9650, 720, 300);   // shrinking, below 1
  ExpectBandsJoin(10007, 600, 720);  // 1.2, odd rows
  ExpectBandsJoin(9650, 72, 720);    // 10
  ExpectBandsJoin(9600, 720, 720);   // same resolution
  ExpectBandsJoin(9650, 1440, 72);   // 0.05: the reducing filter reaches 60 rows
}

TEST(BandGeometry, SmallPlanesCropInsideThePlane) {
  ExpectBandsJoin(1535, 360, 720);  // h = 15 < 16
  ExpectBandsJoin(100, 360, 720);   // h = 1
  ExpectBandsJoin(95, 360, 720);    // h = 0: the last band takes everything
  ExpectBandsJoin(1, 100, 100);
  const BandLayout layout = MakeBandLayout(100, 360, 720);
  const BandPlan band1 = PlanBand(layout, 1);
  EXPECT_EQ(band1.cropTop, 0u);  // not 1 - 16
}

}  // namespace
}  // namespace qm
