#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>

#include "imaging/imaging.h"
#include "imaging/tiff_raster.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace qm::imaging {
namespace {

class ImageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetAppDirOverride(test::BuiltAppDir());
    InitializeImaging();
  }
};

TEST_F(ImageTest, TwoSpotChannelTiffKeepsBothExtraChannels) {
  const Image image = Image::Read(test::SamplesDir() / "tcl_logo_cmyk_2extra.tif");
  EXPECT_EQ(image.Columns(), 248u);
  EXPECT_EQ(image.Rows(), 375u);
  EXPECT_DOUBLE_EQ(image.XResolution(), 150.0);
  EXPECT_EQ(image.ChannelCount(), 6);
  EXPECT_EQ(image.ExtraChannelCount(), 2);

  test::TempDir dir;
  image.WriteCmykTiff(dir / "00.tif");
  const TiffRaster out = ReadTiffRaster(dir / "00.tif");
  EXPECT_EQ(out.samplesPerPixel, 6);
  EXPECT_EQ(out.photometric, PHOTOMETRIC_SEPARATED);
  EXPECT_EQ(out.extraSamples, (std::vector<uint16_t>{0, 0}));
  EXPECT_DOUBLE_EQ(out.xResolution, 150.0);
  EXPECT_EQ(out.data, image.Raster().data) << "every sample, extras included, byte-equal";
}

TEST_F(ImageTest, RgbTiffConvertsLikeColorspaceCmyk) {
  const auto input = test::SamplesDir() / "imagemagick_logo_rgb.tif";
  const Image image = Image::Read(input);
  EXPECT_EQ(image.ChannelCount(), 3);
  EXPECT_EQ(image.ExtraChannelCount(), 0);
  test::TempDir dir;
  image.WriteCmykTiff(dir / "00.tif");
  const TiffRaster ours = ReadTiffRaster(dir / "00.tif");
  ASSERT_EQ(ours.samplesPerPixel, 4);
  // Oracle: ImageMagick's own `-colorspace CMYK`. Rounding of the two
  // conversions may differ by one level.
  const std::string command = "/usr/bin/convert-im6.q16 '" + input.string() + "' -colorspace CMYK -compress none '" +
                              (dir / "im.tif").string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const TiffRaster theirs = ReadTiffRaster(dir / "im.tif");
  ASSERT_EQ(theirs.data.size(), ours.data.size());
  int worst = 0;
  for (std::size_t i = 0; i < ours.data.size(); ++i) worst = std::max(worst, std::abs(ours.data[i] - theirs.data[i]));
  EXPECT_LE(worst, 1);
}

TiffRaster TwoPixels(uint16_t photometric, int colours, uint16_t alphaType, std::vector<uint8_t> data) {
  TiffRaster r;
  r.width = 2;
  r.height = 1;
  r.photometric = photometric;
  r.samplesPerPixel = static_cast<uint16_t>(colours + 1);
  r.extraSamples = {alphaType};
  r.data = std::move(data);
  return r;
}

TEST_F(ImageTest, RgbaFlattensOntoWhiteAndAlphaIsNoChannel) {
  test::TempDir dir;
  // A transparent red pixel, then an opaque red one.
  WriteTiffRaster(dir / "in.tif", TwoPixels(PHOTOMETRIC_RGB, 3, EXTRASAMPLE_UNASSALPHA, {255, 0, 0, 0, 255, 0, 0, 255}));
  const Image image = Image::Read(dir / "in.tif");
  EXPECT_EQ(image.ChannelCount(), 3);
  image.WriteCmykTiff(dir / "00.tif");
  const TiffRaster out = ReadTiffRaster(dir / "00.tif");
  ASSERT_EQ(out.samplesPerPixel, 4);
  EXPECT_EQ(out.data, (std::vector<uint8_t>{0, 0, 0, 0, 0, 255, 255, 0}));
}

TEST_F(ImageTest, CmykaHalfTransparentHalvesTheInkAndSpotKeepsItsPlace) {
  test::TempDir dir;
  TiffRaster r;
  r.width = 1;
  r.height = 1;
  r.photometric = PHOTOMETRIC_SEPARATED;
  r.samplesPerPixel = 6;  // CMYK, a spot, an alpha
  r.extraSamples = {EXTRASAMPLE_UNSPECIFIED, EXTRASAMPLE_UNASSALPHA};
  r.data = {200, 100, 50, 10, 240, 128};
  WriteTiffRaster(dir / "in.tif", r);
  const Image image = Image::Read(dir / "in.tif");
  EXPECT_EQ(image.ChannelCount(), 5);
  image.WriteCmykTiff(dir / "00.tif");
  const TiffRaster out = ReadTiffRaster(dir / "00.tif");
  EXPECT_EQ(out.extraSamples, (std::vector<uint16_t>{0}));
  EXPECT_EQ(out.data, (std::vector<uint8_t>{100, 50, 25, 5, 120}));
}

TEST_F(ImageTest, GreySixteenBitBecomesBlackOnly) {
  const Image image = Image::Read(test::SamplesDir() / "mri_gray16.tif");
  EXPECT_EQ(image.ChannelCount(), 1);
  test::TempDir dir;
  image.WriteCmykTiff(dir / "00.tif");
  const TiffRaster out = ReadTiffRaster(dir / "00.tif");
  EXPECT_EQ(out.depth, 16);
  const TiffRaster& in = image.Raster();
  for (uint32_t x = 0; x < 256; x += 5) {
    EXPECT_EQ(out.Sample(x, 128, 0), 0u);
    EXPECT_EQ(out.Sample(x, 128, 3), 65535u - in.Sample(x, 128, 0));
  }
}

TEST_F(ImageTest, JpegsThroughTheLibrary) {
  const Image rgb = Image::Read(test::SamplesDir() / "flowers_rgb.jpg");
  EXPECT_EQ(rgb.ChannelCount(), 3);
  EXPECT_EQ(rgb.Columns(), 205u);
  EXPECT_EQ(rgb.Rows(), 154u);
  const Image cmyk = Image::Read(test::SamplesDir() / "flowers_cmyk.jpg");
  EXPECT_EQ(cmyk.ChannelCount(), 4);
  EXPECT_EQ(cmyk.ExtraChannelCount(), 0);
  const Image photo = Image::Read(test::SamplesDir() / "PHOTO.JPG");
  EXPECT_DOUBLE_EQ(photo.XResolution(), 96.0);
  // The Adobe-inverted CMYK JPEG reads as ink amounts: the same photo as the
  // RGB JPEG, so its plain red (1 - C)(1 - K) has about the same mean as the
  // RGB file's red (0.49 against 0.53; read negated it would be 0.11).
  auto meanRed = [](const TiffRaster& r, bool cmyk) {
    double sum = 0;
    for (uint32_t y = 0; y < r.height; ++y)
      for (uint32_t x = 0; x < r.width; ++x)
        sum += cmyk ? (1 - r.Sample(x, y, 0) / 255.0) * (1 - r.Sample(x, y, 3) / 255.0) : r.Sample(x, y, 0) / 255.0;
    return sum / (static_cast<double>(r.width) * r.height);
  };
  EXPECT_NEAR(meanRed(cmyk.Raster(), true), meanRed(rgb.Raster(), false), 0.1);
}

TEST_F(ImageTest, UnreadableInputIsAnError) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "bad.tif", "II*\0garbage");
  EXPECT_THROW(Image::Read(dir / "bad.tif"), ImagingError);
  EXPECT_THROW(Image::Read(dir / "missing.jpg"), ImagingError);
}

}  // namespace
}  // namespace qm::imaging
