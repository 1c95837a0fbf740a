#include <gtest/gtest.h>

#include "imaging/imaging.h"
#include "imaging/tiff_raster.h"
#include "tests/magick/magick_run.h"
#include "tests/support/test_support.h"

namespace qm::magick {
namespace {

using imaging::TiffRaster;

TEST(MagickChannelFx, TwoExtraChannelTiffGivesTwoSpotPlanes) {
  test::TempDir dir;
  const auto in = test::SamplesDir() / "tcl_logo_cmyk_2extra.tif";
  ASSERT_EQ(RunMagick({in.string(), "-channel-fx", "Meta0;Meta1", (dir / "00_S%d.tif").string()}), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "00_S2.tif"));
  const TiffRaster source = imaging::ReadTiffRaster(in);
  for (int k = 0; k < 2; ++k) {
    const imaging::Plane p = imaging::ReadPlane(dir / ("00_S" + std::to_string(k) + ".tif"));
    ASSERT_EQ(p.width, 248u);
    ASSERT_EQ(p.height, 375u);
    EXPECT_EQ(p.depth, 8);
    EXPECT_DOUBLE_EQ(p.xResolution, 150.0);
    for (uint32_t y = 0; y < p.height; ++y)
      for (uint32_t x = 0; x < p.width; ++x)
        ASSERT_EQ(p.Row(y)[x], source.Sample(x, y, 4 + k) * 257.0f) << "Meta" << k << " at " << x << "," << y;
  }
}

TEST(MagickChannelFx, NegatedProcessAndSpotPlanes) {
  test::TempDir dir;
  const auto in = test::SamplesDir() / "tcl_logo_cmyk_2extra.tif";
  ASSERT_EQ(RunMagick({in.string(), "-negate", "-channel-fx", "0;1;2;3;Meta0;Meta1", (dir / "00_%d.tif").string()}), 0);
  const TiffRaster source = imaging::ReadTiffRaster(in);
  for (int c = 0; c < 6; ++c) {
    const imaging::Plane p = imaging::ReadPlane(dir / ("00_" + std::to_string(c) + ".tif"));
    for (uint32_t y = 0; y < p.height; y += 7)
      for (uint32_t x = 0; x < p.width; x += 3)
        ASSERT_EQ(p.Row(y)[x], (255 - source.Sample(x, y, c)) * 257.0f) << "channel " << c;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "00_6.tif"));
}

TEST(MagickChannelFx, SixteenBitStaysSixteenBit) {
  test::TempDir dir;
  TiffRaster r;
  r.width = 3;
  r.height = 2;
  r.depth = 16;
  r.photometric = 5;
  r.samplesPerPixel = 4;
  r.xResolution = 600;
  r.yResolution = 300;
  r.data.resize(r.RowBytes() * r.height);
  for (uint32_t i = 0; i < 24; ++i) r.SetSample(i / 4 % 3, i / 12, static_cast<int>(i % 4), i * 2000 + 1);
  imaging::WriteTiffRaster(dir / "00.tif", r);
  ASSERT_EQ(RunMagick({(dir / "00.tif").string(), "-channel-fx", "0;1;2;3", (dir / "00_%d.tif").string()}), 0);
  const imaging::Plane black = imaging::ReadPlane(dir / "00_3.tif");
  EXPECT_EQ(black.depth, 16);
  EXPECT_DOUBLE_EQ(black.xResolution, 600.0);
  EXPECT_DOUBLE_EQ(black.yResolution, 300.0);
  EXPECT_EQ(black.Row(1)[2], static_cast<float>(r.Sample(2, 1, 3)));
  // Asking for an extra channel the image does not have fails.
  EXPECT_EQ(RunMagick({(dir / "00.tif").string(), "-channel-fx", "Meta0", (dir / "00_S%d.tif").string()}), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "00_S0.tif"));
}

TEST(MagickChannelFx, OtherArgumentsExitWithStatusOne) {
  EXPECT_EQ(RunMagick({}), 1);
  EXPECT_EQ(RunMagick({"a.tif", "-separate", "b_%d.tif"}), 1);
  EXPECT_EQ(RunMagick({"/nonexistent.tif", "-channel-fx", "0;1;2;3", "/tmp/x_%d.tif"}), 1);
}

}  // namespace
}  // namespace qm::magick
