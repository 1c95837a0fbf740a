#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <fstream>

#include "imaging/tiff_raster.h"
#include "tests/magick/magick_run.h"
#include "tests/support/test_support.h"

namespace qm::magick {
namespace {

using imaging::TiffRaster;

std::string Swop() { return (test::SamplesDir() / "artifex_swop_cmyk.icc").string(); }
// A second CMYK profile from Debian's Ghostscript.
std::string PsCmyk() { return "/usr/share/color/icc/ghostscript/ps_cmyk.icc"; }

// Independent oracle: the same pixels through Little CMS in double precision,
// in two steps (CMYK -> Lab with the source profile, Lab -> CMYK with the
// output profile), relative colorimetric, no black-point compensation.
// Colour difference is measured in Lab (both CMYK results back through the
// output profile). Our tool runs one 8-bit transform whose device link is
// precalculated on a grid and whose result is rounded to 8 bits, so small
// differences are expected. Measured: mean dE76 0.02, worst 0.38; allowed:
// mean 0.5, worst 2 (a grid interpolation error at a gamut edge, not a wrong
// transform, which gives differences of 5 and more).
TEST(MagickIcc, MatchesAnIndependentLittleCmsTransformAndKeepsExtrasByteEqual) {
  test::TempDir dir;
  const auto work = dir / "00.tif";
  std::filesystem::copy_file(test::SamplesDir() / "tcl_logo_cmyk_2extra.tif", work);
  const TiffRaster before = imaging::ReadTiffRaster(work);
  ASSERT_EQ(RunMagick({work.string(), "-profile", Swop(), "-intent", "Relative", "-profile", PsCmyk(), work.string()}),
            0);
  const TiffRaster after = imaging::ReadTiffRaster(work);
  ASSERT_EQ(after.samplesPerPixel, 6);
  ASSERT_EQ(after.width, before.width);
  EXPECT_EQ(after.extraSamples, before.extraSamples);
  EXPECT_DOUBLE_EQ(after.xResolution, 150.0);
  std::ifstream p(PsCmyk(), std::ios::binary);
  EXPECT_EQ(after.iccProfile, std::vector<uint8_t>(std::istreambuf_iterator<char>(p), {}));  // the output's profile

  cmsHPROFILE src = cmsOpenProfileFromFile(Swop().c_str(), "r"), dst = cmsOpenProfileFromFile(PsCmyk().c_str(), "r");
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  const cmsUInt32Number exact = cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE, relative = INTENT_RELATIVE_COLORIMETRIC;
  cmsHTRANSFORM toLab = cmsCreateTransform(src, TYPE_CMYK_DBL, lab, TYPE_Lab_DBL, relative, exact);
  cmsHTRANSFORM fromLab = cmsCreateTransform(lab, TYPE_Lab_DBL, dst, TYPE_CMYK_DBL, relative, exact);
  cmsHTRANSFORM outToLab = cmsCreateTransform(dst, TYPE_CMYK_DBL, lab, TYPE_Lab_DBL, relative, exact);
  ASSERT_TRUE(toLab && fromLab && outToLab);
  double sum = 0, worst = 0;
  std::size_t extrasDiffer = 0;
  for (uint32_t y = 0; y < before.height; ++y) {
    for (uint32_t x = 0; x < before.width; ++x) {
      double in[4], expected[4], ours[4];
      for (int c = 0; c < 4; ++c) {
        in[c] = before.Sample(x, y, c) / 255.0 * 100.0;  // Little CMS CMYK doubles are 0..100
        ours[c] = after.Sample(x, y, c) / 255.0 * 100.0;
      }
      cmsCIELab l, a, b;
      cmsDoTransform(toLab, in, &l, 1);
      cmsDoTransform(fromLab, &l, expected, 1);
      cmsDoTransform(outToLab, expected, &a, 1);
      cmsDoTransform(outToLab, ours, &b, 1);
      sum += cmsDeltaE(&a, &b);
      worst = std::max(worst, cmsDeltaE(&a, &b));
      for (int e = 4; e < 6; ++e) extrasDiffer += before.Sample(x, y, e) != after.Sample(x, y, e);
    }
  }
  EXPECT_LT(sum / (double(before.width) * before.height), 0.5);
  EXPECT_LT(worst, 2.0);
  EXPECT_EQ(extrasDiffer, 0u) << "extra channels must be byte-equal";
  for (cmsHTRANSFORM t : {toLab, fromLab, outToLab}) cmsDeleteTransform(t);
  for (cmsHPROFILE h : {src, dst, lab}) cmsCloseProfile(h);
}

// "+profile icm" ignores an embedded profile; without it the embedded profile
// is the source of the first conversion, so the result changes. Only CMYK
// to CMYK: a failure leaves the input in place.
TEST(MagickIcc, PlusProfileIcmIgnoresTheEmbeddedProfile) {
  test::TempDir dir;
  TiffRaster plain;
  plain.width = 16;
  plain.height = 4;
  plain.depth = 16;
  plain.photometric = 5;
  plain.samplesPerPixel = 5;
  plain.extraSamples = {0};
  plain.xResolution = plain.yResolution = 300;
  plain.data.resize(plain.RowBytes() * plain.height);
  for (uint32_t i = 0; i < 16 * 4 * 5; ++i) plain.SetSample(i / 5 % 16, i / 80, i % 5, (i * 37 % 256) * 257);
  imaging::WriteTiffRaster(dir / "plain.tif", plain);
  TiffRaster tagged = plain;
  std::ifstream p(PsCmyk(), std::ios::binary);
  tagged.iccProfile.assign(std::istreambuf_iterator<char>(p), std::istreambuf_iterator<char>());
  imaging::WriteTiffRaster(dir / "tagged.tif", tagged);
  auto convert = [&](const std::string& in, const std::string& out, bool drop, const std::string& to = Swop()) {
    std::vector<std::string> a = {(dir / in).string()};
    if (drop) a.insert(a.end(), {"+profile", "icm"});
    a.insert(a.end(), {"-profile", Swop(), "-intent", "Perceptual", "-black-point-compensation", "-profile", to,
                       (dir / out).string()});
    return RunMagick(a);
  };
  ASSERT_EQ(convert("plain.tif", "a.tif", false), 0);
  ASSERT_EQ(convert("tagged.tif", "b.tif", true), 0);
  ASSERT_EQ(convert("tagged.tif", "c.tif", false), 0);
  const TiffRaster a = imaging::ReadTiffRaster(dir / "a.tif");
  EXPECT_EQ(a.depth, 16);
  EXPECT_EQ(a.data, imaging::ReadTiffRaster(dir / "b.tif").data);
  EXPECT_NE(a.data, imaging::ReadTiffRaster(dir / "c.tif").data);
  for (uint32_t x = 0; x < 16; ++x) EXPECT_EQ(a.Sample(x, 2, 4), plain.Sample(x, 2, 4));
  const std::string before = test::ReadFileBytes(dir / "plain.tif");
  for (const char* to : {"sRGB.icc", "cmykog_6clr.icc"}) {
    EXPECT_EQ(convert("plain.tif", "plain.tif", false, (test::SamplesDir() / to).string()), 1) << to;
  }
  EXPECT_EQ(test::ReadFileBytes(dir / "plain.tif"), before);
  std::filesystem::copy_file(test::SamplesDir() / "imagemagick_logo_rgb.tif", dir / "rgb.tif");
  EXPECT_EQ(convert("rgb.tif", "x.tif", false), 1) << "only CMYK input";
}

}  // namespace
}  // namespace qm::magick
