#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>
#include <regex>

#include "imaging/imaging.h"
#include "imaging/pdf_writer.h"
#include "imaging/tiff_raster.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace qm::imaging {
namespace {

class PdfWriterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetAppDirOverride(test::BuiltAppDir());
    InitializeImaging();
  }
  // Ghostscript's tiffsep at `dpi`: returns the folder holding out_(Ink).tif.
  static void Separate(const std::filesystem::path& pdf, const std::filesystem::path& dir, int dpi) {
    const std::string command = "gs -q -sDEVICE=tiffsep -r" + std::to_string(dpi) + " -o '" +
                                (dir / "out_.tif").string() + "' '" + pdf.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
};

// Structure: every xref offset points at its object, startxref at the table.
TEST_F(PdfWriterTest, CrossReferenceOffsetsPointAtTheirObjects) {
  test::TempDir dir;
  Image::Read(test::SamplesDir() / "flowers_rgb.jpg").WritePdf(dir / "00.pdf");
  const std::string pdf = test::ReadFileBytes(dir / "00.pdf");
  ASSERT_EQ(pdf.rfind("%PDF-1.5", 0), 0u);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(pdf, m, std::regex("startxref\n(\\d+)\n%%EOF\n$")));
  const std::size_t xref = std::stoul(m[1]);
  ASSERT_EQ(pdf.compare(xref, 5, "xref\n"), 0);
  for (int object = 1; object <= 6; ++object) {
    const std::size_t entry = xref + 5 + 4 + 20 * object;  // "0 7\n" then 20-byte lines
    const std::size_t offset = std::stoul(pdf.substr(entry, 10));
    const std::string head = std::to_string(object) + " 0 obj";
    EXPECT_EQ(pdf.compare(offset, head.size(), head), 0) << "object " << object;
  }
  // 205 x 154 pixels at 72 dpi: one point per pixel.
  EXPECT_NE(pdf.find("/MediaBox [0 0 205 154]"), std::string::npos);
  EXPECT_NE(pdf.find("/ColorSpace /DeviceRGB"), std::string::npos);
}

// Ghostscript separates a CMYK TIFF written as PDF back into its own planes.
// At the image's own resolution every page pixel is one image pixel; tiffsep
// planes hold 255 - ink. Ghostscript maps DeviceCMYK to its CMYK output
// through its default profiles, which is close to identity: we allow a mean
// difference of 2 levels per plane.
TEST_F(PdfWriterTest, CmykTiffSeparatesIntoItsOwnPlanes) {
  test::TempDir dir;
  const Image image = Image::Read(test::SamplesDir() / "tcl_logo_cmyk_300dpi.tif");
  image.WritePdf(dir / "00.pdf");
  const std::string pdf = test::ReadFileBytes(dir / "00.pdf");
  EXPECT_NE(pdf.find("/MediaBox [0 0 119.28 180.24]"), std::string::npos);
  Separate(dir / "00.pdf", dir.path(), 300);
  const char* inks[] = {"Cyan", "Magenta", "Yellow", "Black"};
  for (int c = 0; c < 4; ++c) {
    const Plane plane = ReadPlane(dir / (std::string("out_(") + inks[c] + ").tif"));
    ASSERT_EQ(plane.width, 497u);
    ASSERT_EQ(plane.height, 751u);
    double diff = 0;
    for (uint32_t y = 0; y < plane.height; ++y)
      for (uint32_t x = 0; x < plane.width; ++x)
        diff += std::abs((255.0 - plane.Row(y)[x] / 257.0) - image.Raster().Sample(x, y, c));
    EXPECT_LT(diff / (497.0 * 751.0), 2.0) << inks[c];
  }
}

// The Adobe-inverted CMYK JPEG must not come out negated: compare the planes
// with the samples the library decoded, same tolerance as above.
TEST_F(PdfWriterTest, InvertedCmykJpegKeepsItsPolarity) {
  test::TempDir dir;
  const Image image = Image::Read(test::SamplesDir() / "flowers_cmyk.jpg");
  image.WritePdf(dir / "00.pdf");
  Separate(dir / "00.pdf", dir.path(), 72);
  const Plane cyan = ReadPlane(dir / "out_(Cyan).tif");
  ASSERT_EQ(cyan.width, image.Columns());
  double diff = 0;
  for (uint32_t y = 0; y < cyan.height; ++y)
    for (uint32_t x = 0; x < cyan.width; ++x)
      diff += std::abs((255.0 - cyan.Row(y)[x] / 257.0) - image.Raster().Sample(x, y, 0));
  EXPECT_LT(diff / (cyan.width * cyan.height), 2.0);
}

// RGB and grey go through Ghostscript's colour management into CMYK: the
// planes exist at the page size and carry ink (no exact values to compare).
TEST_F(PdfWriterTest, RgbJpegAndGreyTiffSeparate) {
  for (const char* name : {"flowers_rgb.jpg", "mri_gray16.tif"}) {
    test::TempDir dir;
    const Image image = Image::Read(test::SamplesDir() / name);
    image.WritePdf(dir / "00.pdf");
    Separate(dir / "00.pdf", dir.path(), 72);
    const Plane black = ReadPlane(dir / "out_(Black).tif");
    EXPECT_EQ(black.width, image.Columns()) << name;
    EXPECT_EQ(black.height, image.Rows()) << name;
    double ink = 0;
    for (float v : black.pixels) ink += 65535.0f - v;
    EXPECT_GT(ink, 0.0) << name;
  }
}

TEST_F(PdfWriterTest, RejectsImagesWithoutAPdfColourSpace) {
  TiffRaster r;
  r.width = r.height = 1;
  r.samplesPerPixel = 2;
  r.data = {0, 0};
  test::TempDir dir;
  EXPECT_THROW(WriteImagePdf(dir / "x.pdf", r), ImagingError);
  EXPECT_FALSE(std::filesystem::exists(dir / "x.pdf"));
}

}  // namespace
}  // namespace qm::imaging
