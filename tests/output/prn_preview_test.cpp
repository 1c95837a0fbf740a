// The dot picture: darker for larger dots, subtractive mixing, reduction of
// large files.
#include "output/prn_preview.h"

#include <gtest/gtest.h>
#include <png.h>

#include "output/prn_file.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

const DotLevels kLevels111{16384, 32768, 1, 1};

struct Picture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
  std::array<int, 3> At(uint32_t x, uint32_t y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
};

Picture ReadPng(const fs::path& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Picture pic;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return pic;
  image.format = PNG_FORMAT_RGB;
  pic.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pic.rgb.data(), 0, nullptr)) return {};
  pic.width = image.width;
  pic.height = image.height;
  return pic;
}

// A 4-position file of width x height where plane p is filled with value
// planeValue[p] in the columns [x0, x1) and 0 elsewhere.
fs::path WriteBars(const TempDir& dir, uint32_t width, uint32_t height, int bits,
                   const std::array<float, 4>& planeValue, uint32_t x0, uint32_t x1) {
  std::vector<std::vector<float>> planes(4, std::vector<float>(static_cast<std::size_t>(width) * height));
  for (int p = 0; p < 4; ++p)
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = x0; x < x1; ++x) planes[p][static_cast<std::size_t>(y) * width + x] = planeValue[p];
  std::vector<const float*> ptrs;
  for (auto& p : planes) ptrs.push_back(p.data());
  EXPECT_TRUE(WritePrnFile(dir / "bars.prn", 720, 720, width, height, bits, ptrs, kLevels111));
  return dir / "bars.prn";
}

const std::vector<std::string> kCmyk = {"0", "1", "2", "3"};

// Larger dots are darker, cyan over yellow is green (red and blue absorbed),
// and a file wider than the picture's side is reduced by averaging: 4500 x 7
// with maxSide 2000 is 1500 x 3, cyan on 2 of the 3 columns of a block.
TEST(PrnPreview, DotsInksAndReduction) {
  TempDir dir;
  int previous = 3 * 255 + 1;
  for (float v : {0.0f, 16384.0f, 32768.0f, 65535.0f}) {
    ASSERT_TRUE(WritePrnPreview(WriteBars(dir, 4, 1, 2, {v, 0, 0, 0}, 0, 4), dir / "p.png", kCmyk));
    const auto c = ReadPng(dir / "p.png").At(0, 0);
    EXPECT_LT(c[0] + c[1] + c[2], previous) << "value " << v;
    previous = c[0] + c[1] + c[2];
  }
  ASSERT_TRUE(WritePrnPreview(WriteBars(dir, 4, 1, 2, {65535, 0, 65535, 0}, 0, 4), dir / "p.png", kCmyk));
  const auto green = ReadPng(dir / "p.png").At(0, 0);
  EXPECT_TRUE(green[0] < 20 && green[1] > 120 && green[2] < 20);
  ASSERT_TRUE(WritePrnPreview(WriteBars(dir, 4500, 7, 1, {65535, 0, 0, 0}, 0, 2), dir / "p.png", kCmyk));
  const Picture pic = ReadPng(dir / "p.png");
  ASSERT_EQ(pic.width, 1500u);
  ASSERT_EQ(pic.height, 3u);
  EXPECT_NEAR(pic.At(0, 0)[0], (1.0f - 2.0f / 3.0f * (1.0f - PreviewInkColour("0")[0])) * 255.0f, 1.0f);
  EXPECT_EQ(pic.At(0, 2), pic.At(0, 0));  // the last block holds one row only
  EXPECT_EQ(pic.At(1, 0), (std::array<int, 3>{255, 255, 255}));
}

// On a garment's colour the underbase ink is an opaque white under the
// others: full white shows white, half of it half way to white, black alone
// on the garment darkens it; no white ink, the garment shows.
TEST(PrnPreview, WhiteInkOnABackground) {
  TempDir dir;
  const std::vector<std::string> inks = {"0", "1", "2", "S0"};  // position 3 is the white
  PrnPreviewOptions options;
  options.background = ParsePreviewColour("#203040");
  ASSERT_TRUE(options.background);
  struct Row {
    std::array<float, 4> values;
    std::array<int, 3> expected;
  };
  const int g[3] = {0x20, 0x30, 0x40};
  auto byte = [](float v) { return static_cast<int>(v * 255.0f + 0.5f); };
  const std::array<float, 3> cyan = PreviewInkColour("0");
  const Row rows[] = {
      {{0, 0, 0, 0}, {g[0], g[1], g[2]}},
      {{0, 0, 0, 65535}, {255, 255, 255}},
      // A small dot covers a third.
      {{0, 0, 0, 16384}, {g[0] + (255 - g[0]) / 3, g[1] + (255 - g[1]) / 3, g[2] + (255 - g[2]) / 3}},
      {{65535, 0, 0, 65535}, {byte(cyan[0]), byte(cyan[1]), byte(cyan[2])}},
  };
  for (const Row& r : rows) {
    ASSERT_TRUE(WritePrnPreview(WriteBars(dir, 4, 1, 2, r.values, 0, 4), dir / "p.png", inks, options));
    const auto c = ReadPng(dir / "p.png").At(0, 0);
    for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(c[k], r.expected[k], 1) << k;
  }
  // Without a background the same ink is a colour on white paper.
  ASSERT_TRUE(WritePrnPreview(WriteBars(dir, 4, 1, 2, {0, 0, 0, 65535}, 0, 4), dir / "p.png", inks));
  EXPECT_NE(ReadPng(dir / "p.png").At(0, 0), (std::array<int, 3>{255, 255, 255}));
  for (const char* bad : {"#12345", "12345g", "#1234567", ""}) EXPECT_FALSE(ParsePreviewColour(bad)) << bad;
  EXPECT_EQ(ParsePreviewColour("FFffFF"), (std::array<float, 3>{1.0f, 1.0f, 1.0f}));
}

}  // namespace
}  // namespace qm
