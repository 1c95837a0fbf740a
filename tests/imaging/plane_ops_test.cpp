#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>

#include "imaging/imaging.h"
#include "imaging/magick_internal.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"
#include "platform/parallel.h"

#ifdef _OPENMP
#include <omp.h>
#endif

namespace qm::imaging {
namespace {

Plane Numbered(uint32_t w, uint32_t h) {
  Plane p;
  p.width = w;
  p.height = h;
  p.xResolution = 300;
  p.yResolution = 150;
  p.pixels.resize(std::size_t{w} * h);
  std::iota(p.pixels.begin(), p.pixels.end(), 0.0f);
  return p;
}

TEST(PlaneOps, NegateMirrorsTheScale) {
  Plane p = Numbered(3, 1);
  Negate(p);
  EXPECT_EQ(p.pixels, (std::vector<float>{65535.0f, 65534.0f, 65533.0f}));
}

TEST(PlaneOps, RotateClockwiseMovesTopLeftToTopRight) {
  // 3 x 2:  0 1 2      clockwise 2 x 3:  3 0
  //         3 4 5                        4 1
  //                                      5 2
  Plane p = Numbered(3, 2);
  Rotate(p, 90);
  EXPECT_EQ(p.width, 2u);
  EXPECT_EQ(p.height, 3u);
  EXPECT_EQ(p.pixels, (std::vector<float>{3, 0, 4, 1, 5, 2}));
  EXPECT_EQ(p.xResolution, 150.0);
  EXPECT_EQ(p.yResolution, 300.0);
}

TEST(PlaneOps, RotateAnticlockwiseAndHalfTurn) {
  Plane p = Numbered(3, 2);
  Rotate(p, -90);
  EXPECT_EQ(p.pixels, (std::vector<float>{2, 5, 1, 4, 0, 3}));
  Plane q = Numbered(3, 2);
  Rotate(q, 180);
  EXPECT_EQ(q.pixels, (std::vector<float>{5, 4, 3, 2, 1, 0}));
  EXPECT_EQ(q.width, 3u);
  EXPECT_THROW(Rotate(q, 45), ImagingError);
}

TEST(PlaneOps, RotateLargerThanABlockRoundTrips) {
  Plane p = Numbered(131, 70);
  const Plane original = p;
  Rotate(p, 90);
  Rotate(p, 90);
  Rotate(p, -90);
  Rotate(p, -90);
  EXPECT_EQ(p.pixels, original.pixels);
  Rotate(p, 90);
  Rotate(p, 90);
  Rotate(p, 180);
  EXPECT_EQ(p.pixels, original.pixels);
}

TEST(PlaneOps, CropClipsToThePlane) {
  Plane p = Numbered(4, 3);
  Crop(p, 10, 2, 2, 1);
  EXPECT_EQ(p.width, 2u);
  EXPECT_EQ(p.height, 2u);
  EXPECT_EQ(p.pixels, (std::vector<float>{6, 7, 10, 11}));
  EXPECT_THROW(Crop(p, 1, 1, 5, 0), ImagingError);
}

TEST(PlaneOps, ResampleSizeFollowsTheResolutionPairExactly) {
  // The aspect is not kept: 50 x 25 at 100 dpi to 360 x 360 is 180 x 90.
  Plane p = Numbered(50, 25);
  p.xResolution = p.yResolution = 100;
  Resample(p, 360, 360);
  EXPECT_EQ(p.width, 180u);
  EXPECT_EQ(p.height, 90u);
  EXPECT_EQ(p.xResolution, 360.0);
  Plane q = Numbered(50, 25);  // 300 x 150 dpi
  Resample(q, 720, 720);
  EXPECT_EQ(q.width, 120u);
  EXPECT_EQ(q.height, 120u);
  Plane r = Numbered(7, 3);
  r.xResolution = r.yResolution = 72;
  Resample(r, 100, 100);  // 9.72 -> 10, 4.17 -> 4
  EXPECT_EQ(r.width, 10u);
  EXPECT_EQ(r.height, 4u);
}

TEST(PlaneOps, ResampleKeepsFlatTonesAndStaysInRange) {
  Plane flat = Numbered(33, 17);
  std::fill(flat.pixels.begin(), flat.pixels.end(), 12345.0f);
  Resample(flat, 720, 222);
  for (float v : flat.pixels) ASSERT_NEAR(v, 12345.0f, 0.05f);
  // A hard edge makes both filters overshoot; the result is clamped.
  Plane edge = Numbered(40, 40);
  for (std::size_t i = 0; i < edge.pixels.size(); ++i) edge.pixels[i] = (i % 40) < 20 ? 0.0f : 65535.0f;
  Plane down = edge;
  Resample(edge, 900, 450);
  Resample(down, 100, 50);
  for (const Plane* p : {&edge, &down}) {
    for (float v : p->pixels) ASSERT_TRUE(v >= 0.0f && v <= 65535.0f) << v;
  }
}

TEST(PlaneOps, ResampleDownPreservesMeanTone) {
  Plane p = Numbered(200, 100);
  for (std::size_t i = 0; i < p.pixels.size(); ++i) p.pixels[i] = static_cast<float>((i * 7919) % 65536);
  const double before = std::accumulate(p.pixels.begin(), p.pixels.end(), 0.0) / p.pixels.size();
  Resample(p, 100, 50);  // a third per direction
  const double after = std::accumulate(p.pixels.begin(), p.pixels.end(), 0.0) / p.pixels.size();
  EXPECT_NEAR(after, before, 0.01 * 65535);
}

TEST(PlaneOps, ResampleGivesTheSameBytesWithAnyThreadCount) {
#ifdef _OPENMP
  Plane a = Numbered(301, 203);
  for (std::size_t i = 0; i < a.pixels.size(); ++i) a.pixels[i] = static_cast<float>((i * 7919) % 65536);
  Plane b = a;
  const int saved = omp_get_max_threads();
  omp_set_num_threads(1);
  Resample(a, 720, 333);
  omp_set_num_threads(4);
  Resample(b, 720, 333);
  omp_set_num_threads(saved);
  ASSERT_EQ(a.pixels.size(), b.pixels.size());
  EXPECT_EQ(0, std::memcmp(a.pixels.data(), b.pixels.data(), a.pixels.size() * sizeof(float)));
#else
  GTEST_SKIP() << "built without OpenMP";
#endif
}

// Rows pushed one by one come out as Resample gives the whole plane: growing,
// shrinking, one direction only, and the same size (rows unchanged, unclamped).
TEST(PlaneOps, RowResamplerGivesTheBytesOfResample) {
  for (auto [x, y] : {std::pair{720.0, 333.0}, {100.0, 37.0}, {300.0, 400.0}, {123.0, 150.0}, {300.0, 150.0}}) {
    Plane whole = Numbered(61, 47);
    for (std::size_t i = 0; i < whole.pixels.size(); ++i) whole.pixels[i] = float((i * 7919) % 70000) - 2000.0f;
    const Plane source = whole;
    Resample(whole, x, y);
    RowResampler rows(source.width, source.height, source.xResolution, source.yResolution, x, y);
    std::vector<float> streamed;
    for (uint32_t r = 0; r < source.height; ++r) {
      rows.Push(source.Row(r), [&](const float* row) { streamed.insert(streamed.end(), row, row + rows.OutputWidth()); });
    }
    EXPECT_EQ(rows.OutputWidth(), whole.width);
    ASSERT_EQ(streamed, whole.pixels) << x << " x " << y;
  }
}

}  // namespace
}  // namespace qm::imaging

namespace qm::imaging {
namespace {

// Oracle: ImageMagick's own resize with the same filters on the same pixels.
// Both are Mitchell (growing) or Lanczos 3 (shrinking) with the same pixel
// centres; they differ in float rounding and in how the edges are weighted,
// so we allow 0.5 % of full scale inside and compare the size exactly.
TEST(PlaneOps, ResampleAgreesWithTheLibrarysResize) {
  SetAppDirOverride(test::BuiltAppDir());
  InitializeImaging();
  for (const double to : {250.0, 37.0}) {
    Plane ours;
    ours.width = 60;
    ours.height = 45;
    ours.xResolution = ours.yResolution = 100;
    ours.pixels.resize(60 * 45);
    for (uint32_t y = 0; y < 45; ++y)
      for (uint32_t x = 0; x < 60; ++x)
        ours.pixels[y * 60 + x] = static_cast<float>(32767.5 + 30000 * std::sin(x * 0.21) * std::cos(y * 0.17));
    Plane theirs = ours;
    Resample(ours, to, to);
    detail::ResampleWithMagick(theirs, to, to);
    ASSERT_EQ(ours.width, theirs.width);
    ASSERT_EQ(ours.height, theirs.height);
    double worst = 0;
    for (uint32_t y = 2; y + 2 < ours.height; ++y)
      for (uint32_t x = 2; x + 2 < ours.width; ++x)
        worst = std::max(worst, double(std::fabs(ours.Row(y)[x] - theirs.Row(y)[x])));
    EXPECT_LT(worst, 0.005 * 65535) << "to " << to << " dpi";
  }
}

}  // namespace
}  // namespace qm::imaging
