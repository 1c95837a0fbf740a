// Images: reading every input kind into the raster the separation writes,
// the PDF writer checked by Ghostscript separating its pages, the resource
// policy, and headers that lie about their size.
#include <Magick++.h>
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

class ImageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetAppDirOverride(test::BuiltAppDir());
    InitializeImaging();
  }
  // `image` as written for the separation (00.tif).
  static TiffRaster Written(const Image& image) {
    image.WriteCmykTiff(dir_.path() / "00.tif");
    return ReadTiffRaster(dir_.path() / "00.tif");
  }
  // `raster` written as a TIFF and read back as an Image.
  static Image FromTiff(const TiffRaster& raster) {
    WriteTiffRaster(dir_.path() / "in.tif", raster);
    return Image::Read(dir_.path() / "in.tif");
  }
  // Ghostscript's tiffsep planes of `image` written as PDF, at `dpi`.
  static Plane Separated(const Image& image, const char* ink, int dpi) {
    image.WritePdf(dir_.path() / "00.pdf");
    const std::string command = "gs -q -sDEVICE=tiffsep -r" + std::to_string(dpi) + " -o '" +
                                (dir_.path() / "out_.tif").string() + "' '" + (dir_.path() / "00.pdf").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadPlane(dir_.path() / (std::string("out_(") + ink + ").tif"));
  }
  static inline test::TempDir dir_;
};

TiffRaster Raster(uint32_t w, uint16_t photometric, uint16_t spp, std::vector<uint16_t> extras, std::vector<uint8_t> data) {
  TiffRaster r;
  r.width = w, r.height = 1, r.photometric = photometric, r.samplesPerPixel = spp;
  r.extraSamples = std::move(extras);
  r.data = std::move(data);
  return r;
}

TEST_F(ImageTest, SpotChannelsAlphaAndGreyBecomeTheSeparationRaster) {
  const Image spots = Image::Read(test::SamplesDir() / "tcl_logo_cmyk_2extra.tif");
  EXPECT_EQ(spots.ExtraChannelCount(), 2);
  const TiffRaster kept = Written(spots);
  EXPECT_EQ(kept.extraSamples, (std::vector<uint16_t>{0, 0}));
  EXPECT_DOUBLE_EQ(kept.xResolution, 150.0);
  EXPECT_EQ(kept.data, spots.Raster().data) << "every sample, extras included";
  // A transparent red pixel flattens onto white; alpha is no channel.
  EXPECT_EQ(Written(FromTiff(Raster(2, PHOTOMETRIC_RGB, 4, {EXTRASAMPLE_UNASSALPHA}, {255, 0, 0, 0, 255, 0, 0, 255}))).data,
            (std::vector<uint8_t>{0, 0, 0, 0, 0, 255, 255, 0}));
  // Half transparent CMYK and a spot: the ink halves, the spot keeps its place.
  const TiffRaster cmyka = Written(FromTiff(Raster(1, PHOTOMETRIC_SEPARATED, 6,
                                                   {EXTRASAMPLE_UNSPECIFIED, EXTRASAMPLE_UNASSALPHA},
                                                   {200, 100, 50, 10, 240, 128})));
  EXPECT_EQ(cmyka.data, (std::vector<uint8_t>{100, 50, 25, 5, 120}));
  // Grey 16 bits becomes black only.
  const Image grey = Image::Read(test::SamplesDir() / "mri_gray16.tif");
  const TiffRaster k = Written(grey);
  EXPECT_EQ(k.depth, 16);
  for (uint32_t x = 0; x < 256; x += 5) {
    EXPECT_EQ(k.Sample(x, 128, 0), 0u);
    EXPECT_EQ(k.Sample(x, 128, 3), 65535u - grey.Raster().Sample(x, 128, 0));
  }
}

// Oracle: ImageMagick's own `-colorspace CMYK`, within one level.
TEST_F(ImageTest, RgbConvertsLikeTheLibrarysColorspaceCmyk) {
  const auto input = test::SamplesDir() / "imagemagick_logo_rgb.tif";
  const TiffRaster ours = Written(Image::Read(input));
  const std::string command = "/usr/bin/convert-im6.q16 '" + input.string() + "' -colorspace CMYK -compress none '" +
                              (dir_.path() / "im.tif").string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const TiffRaster theirs = ReadTiffRaster(dir_.path() / "im.tif");
  ASSERT_EQ(theirs.data.size(), ours.data.size());
  for (std::size_t i = 0; i < ours.data.size(); ++i) ASSERT_LE(std::abs(ours.data[i] - theirs.data[i]), 1) << i;
}

TEST_F(ImageTest, UnreadableInputIsAnError) {
  test::WriteFileBytes(dir_.path() / "bad.tif", "II*\0garbage");
  EXPECT_THROW(Image::Read(dir_.path() / "bad.tif"), ImagingError);
  EXPECT_THROW(Image::Read(dir_.path() / "missing.jpg"), ImagingError);
  EXPECT_THROW(WriteImagePdf(dir_.path() / "x.pdf", Raster(1, PHOTOMETRIC_MINISBLACK, 2, {}, {0, 0})), ImagingError);
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "x.pdf"));
}

// Every xref offset points at its object; one point per pixel at 72 dpi.
TEST_F(ImageTest, PdfCrossReferenceOffsetsPointAtTheirObjects) {
  Image::Read(test::SamplesDir() / "flowers_rgb.jpg").WritePdf(dir_.path() / "00.pdf");
  const std::string pdf = test::ReadFileBytes(dir_.path() / "00.pdf");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(pdf, m, std::regex("startxref\n(\\d+)\n%%EOF\n$")));
  const std::size_t xref = std::stoul(m[1]);
  ASSERT_EQ(pdf.compare(xref, 5, "xref\n"), 0);
  for (int object = 1; object <= 6; ++object) {
    const std::size_t offset = std::stoul(pdf.substr(xref + 9 + 20 * object, 10));  // after "xref\n0 7\n"
    const std::string head = std::to_string(object) + " 0 obj";
    EXPECT_EQ(pdf.compare(offset, head.size(), head), 0) << "object " << object;
  }
  EXPECT_NE(pdf.find("/MediaBox [0 0 205 154]"), std::string::npos);
}

// Ghostscript separates a CMYK page back into its own planes (tiffsep holds
// 255 - ink; its default profiles are close to identity: 2 levels on average).
// The Adobe-inverted CMYK JPEG must not come out negated.
TEST_F(ImageTest, CmykPagesSeparateIntoTheirOwnPlanes) {
  for (const auto& [name, dpi] : {std::pair{"tcl_logo_cmyk_300dpi.tif", 300}, {"flowers_cmyk.jpg", 72}}) {
    const Image image = Image::Read(test::SamplesDir() / name);
    const char* inks[] = {"Cyan", "Magenta", "Yellow", "Black"};
    for (int c = 0; c < 4; ++c) {
      const Plane plane = Separated(image, inks[c], dpi);
      ASSERT_EQ(plane.width, image.Columns()) << name;
      double diff = 0;
      for (uint32_t y = 0; y < plane.height; ++y)
        for (uint32_t x = 0; x < plane.width; ++x) diff += std::abs((255.0 - plane.Row(y)[x] / 257.0) - image.Raster().Sample(x, y, c));
      EXPECT_LT(diff / (plane.width * plane.height), 2.0) << name << " " << inks[c];
    }
  }
}

// Debian's policy caps width and height at 16000 pixels; a large-format plane
// (24 x 36 inches at 720 dpi is 17280 x 25920) needs ours.
TEST_F(ImageTest, OurPolicyLiftsTheSizeLimitsAndPdfStaysForbidden) {
  EXPECT_GE(MagickCore::GetMagickResourceLimit(MagickCore::WidthResource), 25920u);
  EXPECT_GE(MagickCore::GetMagickResourceLimit(MagickCore::AreaResource), 17280ull * 25920ull);
  // In a child process: refused under the system's policy alone, accepted with
  // ours; the PDF coder stays forbidden either way.
  const std::string convert = "/usr/bin/convert-im6.q16";
  const std::string make = convert + " -size 16500x8 xc:gray '" + (dir_.path() / "w.png").string() + "' 2>/dev/null";
  const std::string ours = "env MAGICK_CONFIGURE_PATH='" + (test::BuiltAppDir() / "etc" / "quillmark").string() + "' ";
  EXPECT_NE(std::system(("env -u MAGICK_CONFIGURE_PATH " + make).c_str()), 0);
  EXPECT_EQ(std::system((ours + make).c_str()), 0);
  EXPECT_NE(std::system((ours + convert + " -size 8x8 xc:gray '" + (dir_.path() / "x.pdf").string() + "' 2>/dev/null").c_str()), 0);
}

// A JPEG whose header claims 65000 x 65000 pixels is refused from its header,
// before the library builds a pixel cache of that size on disk.
TEST_F(ImageTest, JpegClaimingHugeSizeIsRefusedFromItsHeader) {
  std::string jpeg = test::ReadFileBytes(test::SamplesDir() / "flowers_rgb.jpg");
  std::size_t sof = 0;  // the frame header (SOF0 or SOF2): length, precision, height, width
  while (sof + 9 < jpeg.size() && !(uint8_t(jpeg[sof]) == 0xFF && (uint8_t(jpeg[sof + 1]) & 0xFD) == 0xC0)) ++sof;
  ASSERT_LT(sof + 9, jpeg.size());
  for (std::size_t at : {sof + 5, sof + 7}) jpeg[at] = char(0xFD), jpeg[at + 1] = char(0xE8);
  test::WriteFileBytes(dir_.path() / "huge.jpg", jpeg);
  try {
    Image::Read(dir_.path() / "huge.jpg");
    FAIL() << "a 65000 x 65000 JPEG was read";
  } catch (const ImagingError& e) {
    EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
  }
  EXPECT_THROW(ReadPlane(dir_.path() / "huge.jpg"), ImagingError);
}

}  // namespace
}  // namespace qm::imaging
