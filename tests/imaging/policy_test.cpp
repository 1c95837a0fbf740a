#include <Magick++.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "imaging/imaging.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace qm::imaging {
namespace {

// Debian's policy caps width and height at 16000 pixels; a large-format plane
// (24 x 36 inches at 720 dpi is 17280 x 25920) needs ours. A thin plane keeps
// the test small.
TEST(Policy, PlaneWiderThanSixteenThousandPixelsGoesThroughTheLibrary) {
  SetAppDirOverride(test::BuiltAppDir());
  InitializeImaging();
  EXPECT_GE(MagickCore::GetMagickResourceLimit(MagickCore::WidthResource), 25920u);
  EXPECT_GE(MagickCore::GetMagickResourceLimit(MagickCore::AreaResource), 17280ull * 25920ull);
  test::TempDir dir;
  {
    Magick::Image wide(Magick::Geometry(16500, 8), Magick::Color("gray50"));
    wide.type(Magick::GrayscaleType);
    wide.depth(8);
    wide.write((dir / "wide.png").string());
  }
  Plane p = ReadPlane(dir / "wide.png");  // the library's reader, not libtiff
  EXPECT_EQ(p.width, 16500u);
  EXPECT_EQ(p.height, 8u);
  EXPECT_NEAR(p.pixels[16499], 128 * 257, 257);
  Rotate(p, 90);
  Resample(p, 144, 144);
  EXPECT_EQ(p.height, 33000u);
}

// The same plane in a child process: refused under the system's policy
// alone, accepted with ours through MAGICK_CONFIGURE_PATH; the PDF coder stays
// forbidden either way.
TEST(Policy, OnlyOurPolicyLiftsTheSizeLimitsAndPdfStaysForbidden) {
  test::TempDir dir;
  const std::string out = (dir / "w.png").string();
  // Debian's own program by its package name, not whatever "convert" is first on the PATH.
  const std::string convert = "/usr/bin/convert-im6.q16";
  const std::string wide = convert + " -size 16500x8 xc:gray '" + out + "' 2>/dev/null";
  const std::string ours = "env MAGICK_CONFIGURE_PATH='" + (test::BuiltAppDir() / "etc" / "quillmark").string() + "' ";
  EXPECT_NE(std::system(("env -u MAGICK_CONFIGURE_PATH " + wide).c_str()), 0);
  EXPECT_EQ(std::system((ours + wide).c_str()), 0);
  const std::string pdf = ours + convert + " -size 8x8 xc:gray '" + (dir / "x.pdf").string() + "' 2>/dev/null";
  EXPECT_NE(std::system(pdf.c_str()), 0);
}

}  // namespace
}  // namespace qm::imaging
