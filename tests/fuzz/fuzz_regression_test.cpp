// Every finding of the fuzz targets, kept as a table row; the reproducer
// files are in tests/fuzz/regressions/ (run through their target too).
#include <gtest/gtest.h>

#include "imaging/imaging.h"
#include "imaging/tiff_raster.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

// A TIFF that lies about its size is refused from its tags, before any buffer
// of the claimed size is allocated.
TEST(FuzzRegression, TiffsClaimingMoreThanTheyHoldAreRefused) {
  test::TempDir dir;
  imaging::TiffRaster r;
  r.width = r.height = 4;
  r.data.assign(16, 7);
  imaging::WriteTiffRaster(dir / "plane.tif", r);
  std::string bytes = test::ReadFileBytes(dir / "plane.tif");
  EXPECT_NO_THROW(imaging::ReadPlane(dir / "plane.tif"));
  // The width tag (SHORT as libtiff writes it) becomes a LONG of 2^30: the
  // same lie told by a plane file, which Compose reads with the same decoder.
  const std::size_t at = bytes.find(std::string("\x00\x01\x03\x00\x01\x00\x00\x00\x04\x00", 10));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 2] = 0x04;
  bytes[at + 11] = 0x40;
  test::WriteFileBytes(dir / "huge.tif", bytes);
  const struct { test::fs::path file; const char* cause; bool plane; } rows[] = {
      // magick_tiff: 206 bytes claiming 1073741828 x 3 CMYK pixels over a 48-byte strip (12.8 GB reserved).
      {test::SourceDir() / "tests/fuzz/regressions/magick_tiff/oom_width_1073741828.tif", "too short", false},
      // magick_tiff: a small tiled TIFF whose tile tags claim a 2 GiB tile.
      {test::SourceDir() / "tests/fuzz/regressions/magick_tiff/oom_tile_2gib.tif", "out of proportion", false},
      {dir / "huge.tif", "", true}};
  for (const auto& row : rows) {
    try {
      row.plane ? (void)imaging::ReadPlane(row.file) : (void)imaging::ReadTiffRaster(row.file);
      ADD_FAILURE() << row.file << " was read";
    } catch (const imaging::ImagingError& e) {
      EXPECT_NE(std::string(e.what()).find(row.cause), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace qm
