// Every finding of the fuzz targets, kept as a test named after it; the
// reproducer files are in tests/fuzz/regressions/.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include "imaging/imaging.h"
#include "imaging/tiff_raster.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

test::fs::path Regression(const char* name) { return test::SourceDir() / "tests/fuzz/regressions" / name; }

// magick_tiff, out-of-memory: a 206-byte TIFF claiming 1073741828 x 3 CMYK
// pixels over a 48-byte strip made the reader reserve 12.8 GB before reading
// any data. It is now refused as too short for its dimensions.
TEST(FuzzRegression, MagickTiffOomWidth1073741828) {
  try {
    imaging::ReadTiffRaster(Regression("magick_tiff/oom_width_1073741828.tif"));
    FAIL() << "a TIFF too short for its dimensions was read";
  } catch (const imaging::ImagingError& e) {
    EXPECT_NE(std::string(e.what()).find("too short"), std::string::npos) << e.what();
  }
}

// magick_tiff, out-of-memory: a small tiled TIFF whose tile tags claim a
// 2 GiB tile made the reader allocate the tile buffer as claimed. A tile out
// of proportion to the image is now refused.
TEST(FuzzRegression, MagickTiffOomTile2GiB) {
  try {
    imaging::ReadTiffRaster(Regression("magick_tiff/oom_tile_2gib.tif"));
    FAIL() << "a TIFF with a 2 GiB tile was read";
  } catch (const imaging::ImagingError& e) {
    // Refused from its tags, before any tile was allocated or decoded.
    EXPECT_NE(std::string(e.what()).find("out of proportion"), std::string::npos) << e.what();
  }
}

// The same lie told by a plane file (Compose reads planes with the same
// decoder).
TEST(FuzzRegression, PlaneClaimingMorePixelsThanItStoresIsRefused) {
  test::TempDir dir;
  imaging::TiffRaster r;
  r.width = 4;
  r.height = 4;
  r.data.assign(16, 7);
  imaging::WriteTiffRaster(dir / "plane.tif", r);
  std::string bytes = test::ReadFileBytes(dir / "plane.tif");
  // A TIFF we wrote is sound; the sound one reads, then its header's width
  // tag is raised to 2^30 in place.
  EXPECT_NO_THROW(imaging::ReadPlane(dir / "plane.tif"));
  // libtiff writes a small width as SHORT; it becomes a LONG here.
  std::size_t at = bytes.find(std::string("\x00\x01\x03\x00\x01\x00\x00\x00\x04\x00", 10));
  if (at == std::string::npos) at = bytes.find(std::string("\x00\x01\x04\x00\x01\x00\x00\x00\x04\x00", 10));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 2] = 0x04;
  bytes[at + 11] = 0x40;
  test::WriteFileBytes(dir / "huge.tif", bytes);
  EXPECT_THROW(imaging::ReadPlane(dir / "huge.tif"), imaging::ImagingError);
}

}  // namespace
}  // namespace qm
