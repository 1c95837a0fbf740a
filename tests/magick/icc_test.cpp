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

  cmsHPROFILE src = cmsOpenProfileFromFile(Swop().c_str(), "r");
  cmsHPROFILE dst = cmsOpenProfileFromFile(PsCmyk().c_str(), "r");
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  const cmsUInt32Number exact = cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE;
  cmsHTRANSFORM toLab = cmsCreateTransform(src, TYPE_CMYK_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, exact);
  cmsHTRANSFORM fromLab = cmsCreateTransform(lab, TYPE_Lab_DBL, dst, TYPE_CMYK_DBL, INTENT_RELATIVE_COLORIMETRIC, exact);
  cmsHTRANSFORM outToLab = cmsCreateTransform(dst, TYPE_CMYK_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, exact);
  ASSERT_TRUE(toLab && fromLab && outToLab);
  double sum = 0;
  double worst = 0;
  std::size_t extrasDiffer = 0;
  for (uint32_t y = 0; y < before.height; ++y) {
    for (uint32_t x = 0; x < before.width; ++x) {
      double in[4], expected[4], ours[4];
      for (int c = 0; c < 4; ++c) {
        in[c] = before.Sample(x, y, c) / 255.0 * 100.0;  // Little CMS CMYK doubles are 0..100
        ours[c] = after.Sample(x, y, c) / 255.0 * 100.0;
      }
      cmsCIELab l;
      cmsDoTransform(toLab, in, &l, 1);
      cmsDoTransform(fromLab, &l, expected, 1);
      cmsCIELab a, b;
      cmsDoTransform(outToLab, expected, &a, 1);
      cmsDoTransform(outToLab, ours, &b, 1);
      const double de = cmsDeltaE(&a, &b);
      sum += de;
      worst = std::max(worst, de);
      for (int e = 4; e < 6; ++e) extrasDiffer += before.Sample(x, y, e) != after.Sample(x, y, e);
    }
  }
  const double mean = sum / (double(before.width) * before.height);
  EXPECT_LT(mean, 0.5);
  EXPECT_LT(worst, 2.0);
  EXPECT_EQ(extrasDiffer, 0u) << "extra channels must be byte-equal";
  RecordProperty("meanDeltaE", std::to_string(mean));
  RecordProperty("worstDeltaE", std::to_string(worst));
  cmsDeleteTransform(toLab);
  cmsDeleteTransform(fromLab);
  cmsDeleteTransform(outToLab);
  cmsCloseProfile(src);
  cmsCloseProfile(dst);
  cmsCloseProfile(lab);
  // The output carries the output profile.
  std::ifstream p(PsCmyk(), std::ios::binary);
  const std::vector<uint8_t> ps{std::istreambuf_iterator<char>(p), std::istreambuf_iterator<char>()};
  EXPECT_EQ(after.iccProfile, ps);
}

TiffRaster SmallCmyk(int depth) {
  TiffRaster r;
  r.width = 16;
  r.height = 4;
  r.depth = depth;
  r.photometric = 5;
  r.samplesPerPixel = 5;
  r.extraSamples = {0};
  r.xResolution = r.yResolution = 300;
  r.data.resize(r.RowBytes() * r.height);
  for (uint32_t y = 0; y < r.height; ++y)
    for (uint32_t x = 0; x < r.width; ++x)
      for (int c = 0; c < 5; ++c) r.SetSample(x, y, c, ((x * 37 + y * 11 + c * 53) % 256) * (depth == 16 ? 257 : 1));
  return r;
}

// "+profile icm" ignores an embedded profile; without it the embedded profile
// is the source of the first conversion, so the result changes.
TEST(MagickIcc, PlusProfileIcmIgnoresTheEmbeddedProfile) {
  test::TempDir dir;
  TiffRaster plain = SmallCmyk(16);
  imaging::WriteTiffRaster(dir / "plain.tif", plain);
  TiffRaster tagged = plain;
  std::ifstream p(PsCmyk(), std::ios::binary);
  tagged.iccProfile.assign(std::istreambuf_iterator<char>(p), std::istreambuf_iterator<char>());
  imaging::WriteTiffRaster(dir / "tagged.tif", tagged);
  auto convert = [&](const std::string& in, const std::string& out, bool drop) {
    std::vector<std::string> a = {(dir / in).string()};
    if (drop) a.insert(a.end(), {"+profile", "icm"});
    a.insert(a.end(), {"-profile", Swop(), "-intent", "Perceptual", "-black-point-compensation", "-profile", Swop(),
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
}

TEST(MagickIcc, FailureLeavesTheInputInPlace) {
  test::TempDir dir;
  imaging::WriteTiffRaster(dir / "00.tif", SmallCmyk(8));
  const std::string before = test::ReadFileBytes(dir / "00.tif");
  const std::string w = (dir / "00.tif").string();
  EXPECT_EQ(RunMagick({w, "-profile", (dir / "missing.icc").string(), "-intent", "Relative", "-profile", Swop(), w}), 1);
  // An RGB profile cannot be the output of a CMYK conversion.
  EXPECT_EQ(RunMagick({w, "-profile", Swop(), "-intent", "Relative", "-profile",
                       (test::SamplesDir() / "sRGB.icc").string(), w}), 1);
  EXPECT_EQ(RunMagick({w, "-profile", Swop(), "-intent", "Relative", "-profile",
                       (test::SamplesDir() / "cmykog_6clr.icc").string(), w}), 1);
  EXPECT_EQ(test::ReadFileBytes(dir / "00.tif"), before);
  EXPECT_EQ(RunMagick({w, "-profile", Swop(), "-intent", "Bogus", "-profile", Swop(), w}), 1);
  EXPECT_EQ(RunMagick({(test::SamplesDir() / "imagemagick_logo_rgb.tif").string(), "-profile", Swop(), "-intent",
                       "Relative", "-profile", Swop(), (dir / "x.tif").string()}), 1)
      << "only CMYK input";
}

}  // namespace
}  // namespace qm::magick
