// A JPEG whose header claims more pixels than it holds must be refused from
// its header, before the library builds a pixel cache of that size on disk.
#include <gtest/gtest.h>

#include "imaging/imaging.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

TEST(HugeHeader, JpegClaiming65000SquaredIsRefusedFromItsHeader) {
  std::string jpeg = test::ReadFileBytes(test::SamplesDir() / "flowers_rgb.jpg");
  // The frame header (SOF0 or SOF2): length, precision, height, width.
  std::size_t sof = std::string::npos;
  for (std::size_t i = 0; i + 9 < jpeg.size(); ++i) {
    const auto b = static_cast<unsigned char>(jpeg[i + 1]);
    if (static_cast<unsigned char>(jpeg[i]) == 0xFF && (b == 0xC0 || b == 0xC2)) {
      sof = i;
      break;
    }
  }
  ASSERT_NE(sof, std::string::npos);
  for (std::size_t at : {sof + 5, sof + 7}) {  // 65000 = 0xFDE8
    jpeg[at] = static_cast<char>(0xFD);
    jpeg[at + 1] = static_cast<char>(0xE8);
  }
  test::TempDir dir;
  test::WriteFileBytes(dir / "huge.jpg", jpeg);
  imaging::InitializeImaging();
  try {
    imaging::Image::Read(dir / "huge.jpg");
    FAIL() << "a 65000 x 65000 JPEG was read";
  } catch (const imaging::ImagingError& e) {
    EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
  }
  EXPECT_THROW(imaging::ReadPlane(dir / "huge.jpg"), imaging::ImagingError);
}

}  // namespace
}  // namespace qm
