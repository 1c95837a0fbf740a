// Our `magick` extracting channels into plane files.
#include <gtest/gtest.h>

#include "imaging/imaging.h"
#include "imaging/tiff_raster.h"
#include "tests/magick/magick_run.h"

namespace qm::magick {
namespace {

using imaging::TiffRaster;

// Every pixel of the process and spot planes, negated or not, 8 or 16 bits.
TEST(MagickChannelFx, PlanesHoldTheirChannels) {
  test::TempDir dir;
  TiffRaster deep;
  deep.width = 3;
  deep.height = 2;
  deep.depth = 16;
  deep.photometric = 5;
  deep.samplesPerPixel = 4;
  deep.xResolution = 600;
  deep.yResolution = 300;
  deep.data.resize(deep.RowBytes() * deep.height);
  for (uint32_t i = 0; i < 24; ++i) deep.SetSample(i / 4 % 3, i / 12, static_cast<int>(i % 4), i * 2000 + 1);
  imaging::WriteTiffRaster(dir / "deep.tif", deep);
  const std::string extra = (test::SamplesDir() / "tcl_logo_cmyk_2extra.tif").string();
  struct Run {
    std::string input;
    bool negate;
    const char* list;
    std::vector<int> samples;
  };
  const Run runs[] = {{extra, false, "Meta0;Meta1", {4, 5}},
                      {extra, true, "0;1;2;3;Meta0;Meta1", {0, 1, 2, 3, 4, 5}},
                      {(dir / "deep.tif").string(), false, "0;1;2;3", {0, 1, 2, 3}}};
  int n = 0;
  for (const Run& r : runs) {
    const std::string out = (dir / std::to_string(n++)).string() + "_";
    std::vector<std::string> args = {r.input};
    if (r.negate) args.push_back("-negate");
    args.insert(args.end(), {"-channel-fx", r.list, out + "%d.tif"});
    ASSERT_EQ(RunMagick(args), 0) << r.list;
    const TiffRaster source = imaging::ReadTiffRaster(r.input);
    const float top = source.depth == 16 ? 65535.0f : 255.0f, scale = source.depth == 16 ? 1.0f : 257.0f;
    for (std::size_t k = 0; k < r.samples.size(); ++k) {
      const imaging::Plane p = imaging::ReadPlane(out + std::to_string(k) + ".tif");
      ASSERT_EQ(p.width, source.width);
      EXPECT_EQ(p.depth, source.depth);
      EXPECT_DOUBLE_EQ(p.yResolution, source.yResolution);
      for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < p.width; ++x) {
          const float v = static_cast<float>(source.Sample(x, y, r.samples[k]));
          ASSERT_EQ(p.Row(y)[x], (r.negate ? top - v : v) * scale) << r.list << " plane " << k << " at " << x << "," << y;
        }
      }
    }
    EXPECT_FALSE(std::filesystem::exists(out + std::to_string(r.samples.size()) + ".tif")) << r.list;
  }
  // An extra channel the image does not have, other forms and a missing
  // input fail with status 1 and write nothing.
  EXPECT_EQ(RunMagick({(dir / "deep.tif").string(), "-channel-fx", "Meta0", (dir / "S%d.tif").string()}), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "S0.tif"));
  EXPECT_EQ(RunMagick({}), 1);
  EXPECT_EQ(RunMagick({"a.tif", "-separate", "b_%d.tif"}), 1);
  EXPECT_EQ(RunMagick({"/nonexistent.tif", "-channel-fx", "0;1;2;3", (dir / "x_%d.tif").string()}), 1);
}

}  // namespace
}  // namespace qm::magick
