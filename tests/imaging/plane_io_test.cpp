#include <gtest/gtest.h>
#include <tiffio.h>

#include <vector>

#include "imaging/imaging.h"
#include "tests/support/test_support.h"

namespace qm::imaging {
namespace {

Plane Ramp(uint32_t w, uint32_t h, double xres, double yres) {
  Plane p;
  p.width = w;
  p.height = h;
  p.xResolution = xres;
  p.yResolution = yres;
  p.pixels.resize(std::size_t{w} * h);
  for (std::size_t i = 0; i < p.pixels.size(); ++i) p.pixels[i] = static_cast<float>((i * 4099) % 65536);
  return p;
}

TEST(PlaneIo, SixteenBitRoundTripIsExact) {
  test::TempDir dir;
  const Plane p = Ramp(37, 23, 300, 150);
  WritePlane(dir / "p.tif", p, 16);
  const Plane q = ReadPlane(dir / "p.tif");
  EXPECT_EQ(q.width, 37u);
  EXPECT_EQ(q.height, 23u);
  EXPECT_EQ(q.depth, 16);
  EXPECT_DOUBLE_EQ(q.xResolution, 300.0);
  EXPECT_DOUBLE_EQ(q.yResolution, 150.0);
  EXPECT_EQ(q.pixels, p.pixels);
}

TEST(PlaneIo, EightBitScalesBy257AndRounds) {
  test::TempDir dir;
  Plane p = Ramp(4, 1, 72, 72);
  p.pixels = {0.0f, 255.0f * 257.0f, 128.0f * 257.0f + 128.0f, 128.0f * 257.0f + 129.0f};
  WritePlane(dir / "p.tif", p, 8);
  const Plane q = ReadPlane(dir / "p.tif");
  EXPECT_EQ(q.depth, 8);
  // 128.498 rounds to 128, 128.502 to 129; read back as v * 257.
  EXPECT_EQ(q.pixels, (std::vector<float>{0.0f, 65535.0f, 128.0f * 257.0f, 129.0f * 257.0f}));
}

TEST(PlaneIo, WritingClampsAndRoundsToNearest) {
  test::TempDir dir;
  Plane p = Ramp(4, 1, 72, 72);
  p.pixels = {-7.0f, 70000.0f, 1.5f, 65534.4f};
  WritePlane(dir / "p.tif", p, 16);
  EXPECT_EQ(ReadPlane(dir / "p.tif").pixels, (std::vector<float>{0.0f, 65535.0f, 2.0f, 65534.0f}));
}

TEST(PlaneIo, ReadsOnlyTheAskedRowsOfABand) {
  test::TempDir dir;
  const Plane p = Ramp(300, 2000, 720, 720);  // several strips
  WritePlane(dir / "p.tif", p, 16);
  const uint64_t before = DecodedRowCount();
  const Plane band = ReadPlaneRows(dir / "p.tif", 1234, 100);
  EXPECT_EQ(DecodedRowCount() - before, 100u);
  ASSERT_EQ(band.height, 100u);
  ASSERT_EQ(band.width, 300u);
  for (uint32_t y = 0; y < 100; ++y) {
    ASSERT_TRUE(std::equal(band.Row(y), band.Row(y) + 300, p.Row(1234 + y))) << "row " << y;
  }
  EXPECT_THROW(ReadPlaneRows(dir / "p.tif", 1990, 11), ImagingError);
}

// A TIFF laid out as our writer never does: tiled, LZW, 16 bit, min-is-white,
// resolution in centimetres.
TEST(PlaneIo, ReadsTiledMinIsWhiteCentimetreTiff) {
  test::TempDir dir;
  const uint32_t w = 40, h = 35;
  TIFF* tif = TIFFOpen((dir / "t.tif").c_str(), "w");
  ASSERT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
  TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 100.0f);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 50.0f);
  std::vector<uint16_t> tile(16 * 16);
  for (uint32_t ty = 0; ty < h; ty += 16) {
    for (uint32_t tx = 0; tx < w; tx += 16) {
      for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x) tile[y * 16 + x] = static_cast<uint16_t>((ty + y) * 1000 + tx + x);
      ASSERT_GE(TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0), 0);
    }
  }
  TIFFClose(tif);
  const Plane p = ReadPlane(dir / "t.tif");
  ASSERT_EQ(p.width, w);
  ASSERT_EQ(p.height, h);
  EXPECT_NEAR(p.xResolution, 254.0, 1e-3);
  EXPECT_NEAR(p.yResolution, 127.0, 1e-3);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) ASSERT_EQ(p.Row(y)[x], 65535.0f - (y * 1000 + x)) << x << "," << y;
  const Plane band = ReadPlaneRows(dir / "t.tif", 17, 3);
  EXPECT_EQ(band.Row(0)[5], 65535.0f - (17 * 1000 + 5));
}

TEST(PlaneIo, ReadsTheSixteenBitSample) {
  const Plane p = ReadPlane(test::SamplesDir() / "mri_gray16.tif");
  EXPECT_EQ(p.width, 256u);
  EXPECT_EQ(p.height, 256u);
  EXPECT_EQ(p.depth, 16);
  EXPECT_EQ(*std::max_element(p.pixels.begin(), p.pixels.end()), 55040.0f);
  const PlaneInfo info = ReadPlaneInfo(test::SamplesDir() / "mri_gray16.tif");
  EXPECT_EQ(info.width, 256u);
  EXPECT_EQ(info.depth, 16);
}

TEST(PlaneIo, MultiChannelAndMissingFilesAreErrorsNamingTheFile) {
  try {
    ReadPlane(test::SamplesDir() / "tcl_logo_cmyk_300dpi.tif");
    FAIL() << "a CMYK TIFF is not a plane";
  } catch (const ImagingError& e) {
    EXPECT_NE(std::string(e.what()).find("tcl_logo_cmyk_300dpi.tif"), std::string::npos) << e.what();
  }
  InitializeImaging();
  EXPECT_THROW(ReadPlane(test::SamplesDir() / "flowers_rgb.jpg"), ImagingError);
  EXPECT_THROW(ReadPlane("/nonexistent/plane.tif"), ImagingError);
}

TEST(PlaneIo, FailedWriteKeepsTheOldFile) {
  test::TempDir dir;
  const Plane p = Ramp(8, 8, 72, 72);
  WritePlane(dir / "p.tif", p, 8);
  const std::string before = test::ReadFileBytes(dir / "p.tif");
  EXPECT_THROW(WritePlane(dir / "p.tif", p, 12), ImagingError);
  Plane bad = p;
  bad.pixels.resize(3);
  EXPECT_THROW(WritePlane(dir / "p.tif", bad, 8), ImagingError);
  EXPECT_EQ(test::ReadFileBytes(dir / "p.tif"), before);
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1) << "no temporary file is left behind";
}

}  // namespace
}  // namespace qm::imaging
