// Planes: the operations (turn, negate, resample) against hand-worked
// results and the library's own resize, plane files (round trips, bands,
// foreign layouts, atomic replacement) and planes that are never whole.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "imaging/growing_plane.h"
#include "imaging/imaging.h"
#include "imaging/magick_internal.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace qm::imaging {
namespace {

Plane Make(uint32_t w, uint32_t h, double xres, double yres, uint32_t step = 1) {
  Plane p;
  p.width = w, p.height = h, p.xResolution = xres, p.yResolution = yres;
  p.pixels.resize(std::size_t{w} * h);
  for (std::size_t i = 0; i < p.pixels.size(); ++i) p.pixels[i] = float((i * step) % 65536);
  return p;
}

TEST(PlaneOps, TurnsAndNegationMoveEveryPixel) {
  // 3 x 2:  0 1 2   clockwise: 3 0   anticlockwise: 2 5   half: 5 4 3
  //         3 4 5              4 1                  1 4         2 1 0
  //                            5 2                  0 3
  const struct { int degrees; std::vector<float> pixels; } turns[] = {
      {90, {3, 0, 4, 1, 5, 2}}, {-90, {2, 5, 1, 4, 0, 3}}, {180, {5, 4, 3, 2, 1, 0}}};
  for (const auto& t : turns) {
    Plane p = Make(3, 2, 300, 150);
    Rotate(p, t.degrees);
    EXPECT_EQ(p.pixels, t.pixels) << t.degrees;
    EXPECT_EQ(p.width, t.degrees == 180 ? 3u : 2u);
    EXPECT_EQ(p.xResolution, t.degrees == 180 ? 300.0 : 150.0);
  }
  Plane p = Make(3, 1, 72, 72);
  EXPECT_THROW(Rotate(p, 45), ImagingError);
  Negate(p);
  EXPECT_EQ(p.pixels, (std::vector<float>{65535.0f, 65534.0f, 65533.0f}));
  // Larger than a block of the turn: four quarter turns give the plane back.
  Plane big = Make(131, 70, 300, 150), original = big;
  for (int degrees : {90, 90, -90, -90, 90, 90, 180}) Rotate(big, degrees);
  EXPECT_EQ(big.pixels, original.pixels);
}

// The size follows the resolution pair (aspect not kept), rounded.
TEST(PlaneOps, ResampleSizesAndRange) {
  const struct { uint32_t w, h; double from, to; uint32_t outW, outH; } sizes[] = {
      {50, 25, 100, 360, 180, 90}, {50, 25, 0, 720, 120, 120}, {7, 3, 72, 100, 10, 4}};
  for (const auto& s : sizes) {
    Plane p = Make(s.w, s.h, s.from ? s.from : 300, s.from ? s.from : 150);
    Resample(p, s.to, s.to);
    EXPECT_EQ(p.width, s.outW);
    EXPECT_EQ(p.height, s.outH);
    EXPECT_EQ(p.xResolution, s.to);
  }
  // A hard edge makes both filters overshoot; the result is clamped.
  for (double to : {900.0, 100.0}) {
    Plane edge = Make(40, 40, 300, 150);
    for (std::size_t i = 0; i < edge.pixels.size(); ++i) edge.pixels[i] = (i % 40) < 20 ? 0.0f : 65535.0f;
    Resample(edge, to, to / 2);
    for (float v : edge.pixels) ASSERT_TRUE(v >= 0.0f && v <= 65535.0f) << v;
  }
}

// Oracle: the library's resize with the same filters (Mitchell growing,
// Lanczos 3 shrinking) and pixel centres; they differ in float rounding and
// edge weights, so 0.5 % of full scale inside, the size exactly.
TEST(PlaneOps, ResampleAgreesWithTheLibrarysResize) {
  SetAppDirOverride(test::BuiltAppDir());
  InitializeImaging();
  for (const double to : {250.0, 37.0}) {
    Plane ours = Make(60, 45, 100, 100);
    for (uint32_t y = 0; y < 45; ++y)
      for (uint32_t x = 0; x < 60; ++x) ours.pixels[y * 60 + x] = float(32767.5 + 30000 * std::sin(x * 0.21) * std::cos(y * 0.17));
    Plane theirs = ours;
    Resample(ours, to, to);
    detail::ResampleWithMagick(theirs, to, to);
    ASSERT_EQ(ours.width, theirs.width);
    ASSERT_EQ(ours.height, theirs.height);
    for (uint32_t y = 2; y + 2 < ours.height; ++y)
      for (uint32_t x = 2; x + 2 < ours.width; ++x) ASSERT_NEAR(ours.Row(y)[x], theirs.Row(y)[x], 0.005 * 65535);
  }
}

// Rows pushed one by one come out as Resample gives the whole plane: growing,
// shrinking, one direction only, and the same size (rows unchanged, unclamped).
TEST(PlaneOps, RowResamplerGivesTheBytesOfResample) {
  for (auto [x, y] : {std::pair{720.0, 333.0}, {100.0, 37.0}, {300.0, 400.0}, {123.0, 150.0}, {300.0, 150.0}}) {
    Plane whole = Make(61, 47, 300, 150, 7919);
    for (float& v : whole.pixels) v -= 2000.0f;
    const Plane source = whole;
    Resample(whole, x, y);
    RowResampler rows(source.width, source.height, source.xResolution, source.yResolution, x, y);
    std::vector<float> streamed;
    for (uint32_t r = 0; r < source.height; ++r) {
      rows.Push(source.Row(r), [&](const float* row) { streamed.insert(streamed.end(), row, row + rows.OutputWidth()); });
    }
    ASSERT_EQ(streamed, whole.pixels) << x << " x " << y;
  }
}

// Round trips: 16 bits exact with the resolution; 8 bits scale by 257 and
// round; writing clamps and rounds to nearest.
TEST(PlaneIo, RoundTripsAtBothDepths) {
  test::TempDir dir;
  const Plane p = Make(37, 23, 300, 150, 4099);
  WritePlane(dir / "p.tif", p, 16);
  const Plane q = ReadPlane(dir / "p.tif");
  EXPECT_EQ(q.depth, 16);
  EXPECT_EQ(q.width, 37u);
  EXPECT_DOUBLE_EQ(q.yResolution, 150.0);
  EXPECT_EQ(q.pixels, p.pixels);
  const struct { int depth; std::vector<float> in, out; } cases[] = {
      {8, {0.0f, 65535.0f, 128 * 257 + 128.0f, 128 * 257 + 129.0f}, {0.0f, 65535.0f, 128 * 257, 129 * 257}},
      // Sixteen tones and a tail: the same rule sixteen at a time and one by one.
      {8, {-1.0f, NAN, 128.0f, 129.0f, 25828.0f, 25829.0f, 65406.5f, 65406.0f, 1e9f, INFINITY, -INFINITY, 257.0f,
           65278.0f, 50000.0f, 1000.0f, 32767.0f, 32768.0f, NAN, 129.0f, 65406.5f},
       {0.0f, 0.0f, 0.0f, 257.0f, 25700.0f, 25957.0f, 65535.0f, 65278.0f, 65535.0f, 65535.0f, 0.0f, 257.0f,
        65278.0f, 50115.0f, 1028.0f, 32639.0f, 32896.0f, 0.0f, 257.0f, 65535.0f}},
      // Twelve words: eight at a time, then one by one.
      {16, {-7.0f, 70000.0f, 1.5f, 65534.4f, NAN, -INFINITY, 0.49f, 0.5f, 32767.5f, 65534.5f, INFINITY, 32767.4f},
       {0.0f, 65535.0f, 2.0f, 65534.0f, 0.0f, 0.0f, 0.0f, 1.0f, 32768.0f, 65535.0f, 65535.0f, 32767.0f}}};
  for (const auto& c : cases) {
    Plane row = Make(static_cast<uint32_t>(c.in.size()), 1, 72, 72);
    row.pixels = c.in;
    WritePlane(dir / "r.tif", row, c.depth);
    EXPECT_EQ(ReadPlane(dir / "r.tif").pixels, c.out) << c.depth;
  }
}

TEST(PlaneIo, ReadsOnlyTheAskedRowsOfABand) {
  test::TempDir dir;
  const Plane p = Make(300, 2000, 720, 720, 4099);  // several strips
  WritePlane(dir / "p.tif", p, 16);
  const uint64_t before = DecodedRowCount();
  const Plane band = ReadPlaneRows(dir / "p.tif", 1234, 100);
  EXPECT_EQ(DecodedRowCount() - before, 100u);
  EXPECT_EQ(band.pixels, std::vector<float>(p.Row(1234), p.Row(1334)));
  EXPECT_THROW(ReadPlaneRows(dir / "p.tif", 1990, 11), ImagingError);
}

// A TIFF laid out as our writer never does: tiled, LZW, min-is-white,
// resolution in centimetres.
TEST(PlaneIo, ReadsTiledMinIsWhiteCentimetreTiff) {
  test::TempDir dir;
  TIFF* tif = TIFFOpen((dir / "t.tif").c_str(), "w");
  ASSERT_NE(tif, nullptr);
  const uint32_t w = 40, h = 35;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
  TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 100.0f);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 50.0f);
  std::vector<uint16_t> tile(16 * 16);
  for (uint32_t ty = 0; ty < h; ty += 16) {
    for (uint32_t tx = 0; tx < w; tx += 16) {
      for (uint32_t i = 0; i < 256; ++i) tile[i] = uint16_t((ty + i / 16) * 1000 + tx + i % 16);
      ASSERT_GE(TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0), 0);
    }
  }
  TIFFClose(tif);
  const Plane p = ReadPlane(dir / "t.tif");
  ASSERT_EQ(p.width, w);
  EXPECT_NEAR(p.xResolution, 254.0, 1e-3);
  EXPECT_NEAR(p.yResolution, 127.0, 1e-3);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) ASSERT_EQ(p.Row(y)[x], 65535.0f - (y * 1000 + x)) << x << "," << y;
}

TEST(PlaneIo, UnreadablePlanesNameTheFileAndAFailedWriteKeepsTheOld) {
  try {
    ReadPlane(test::SamplesDir() / "tcl_logo_cmyk_300dpi.tif");
    FAIL() << "a CMYK TIFF is not a plane";
  } catch (const ImagingError& e) {
    EXPECT_NE(std::string(e.what()).find("tcl_logo_cmyk_300dpi.tif"), std::string::npos) << e.what();
  }
  EXPECT_THROW(ReadPlane("/nonexistent/plane.tif"), ImagingError);
  test::TempDir dir;
  const Plane p = Make(8, 8, 72, 72);
  WritePlane(dir / "p.tif", p, 8);
  const std::string before = test::ReadFileBytes(dir / "p.tif");
  EXPECT_THROW(WritePlane(dir / "p.tif", p, 12), ImagingError);
  Plane bad = p;
  bad.pixels.resize(3);
  EXPECT_THROW(WritePlane(dir / "p.tif", bad, 8), ImagingError);
  EXPECT_EQ(test::ReadFileBytes(dir / "p.tif"), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "a temporary was left";
}

// Turned through tiles: several tiles each way, partial tiles at the edges.
TEST(PlaneStream, TurnedFileHoldsTheRotatedPlane) {
  test::TempDir dir;
  for (int depth : {8, 16}) {
    for (int degrees : {90, -90}) {
      WritePlane(dir / "p.tif", Make(300, 530, 300, 150, 2654435761u), depth);
      TurnPlaneFile(dir / "p.tif", dir / "t.tif", degrees);
      Plane expected = ReadPlane(dir / "p.tif");
      Rotate(expected, degrees);
      const Plane turned = ReadPlane(dir / "t.tif");
      EXPECT_EQ(turned.depth, depth);
      EXPECT_DOUBLE_EQ(turned.xResolution, expected.xResolution);
      EXPECT_EQ(turned.pixels, expected.pixels) << depth << " bits, " << degrees;
      EXPECT_EQ(ReadPlaneRows(dir / "t.tif", 257, 3).pixels, std::vector<float>(expected.Row(257), expected.Row(260)));
    }
  }
}

// A plane stitched from two bands and a blank band: a reader of missing rows
// waits, the rows read back as written, and a failure reaches the reader.
TEST(PlaneStream, GrowingPlaneIsReadAsItsBandsArrive) {
  test::TempDir dir;
  const Plane top = Make(40, 7, 300, 150, 257), middle = Make(40, 5, 300, 150, 514);
  WritePlane(dir / "top.tif", top, 8);
  WritePlane(dir / "middle.tif", middle, 8);
  Plane expected8 = ReadPlane(dir / "top.tif"), middle8 = ReadPlane(dir / "middle.tif");
  auto gate = std::make_shared<RowGate>(15);
  {
    GrowingPlane plane(dir / "g.tif", 15, dir / "top.tif", gate);
    plane.CopyRows(0, dir / "top.tif");
    gate->Complete(0, 7);
    EXPECT_EQ(ReadPlaneRows(dir / "g.tif", 0, 7).pixels, expected8.pixels);
    std::filesystem::rename(dir / "g.tif", dir / "moved.tif");  // still the same plane
    std::vector<float> waited;
    std::thread reader([&] { waited = ReadPlaneRows(dir / "moved.tif", 6, 9).pixels; });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(waited.empty());
    plane.BlankRows(12, 3);
    plane.CopyRows(7, dir / "middle.tif");
    gate->Complete(7, 8);
    reader.join();
    std::vector<float> expected(expected8.Row(6), expected8.Row(7));
    expected.insert(expected.end(), middle8.pixels.begin(), middle8.pixels.end());
    expected.resize(expected.size() + 3 * 40, 65535.0f);
    EXPECT_EQ(waited, expected);
  }
  auto failing = std::make_shared<RowGate>(10);
  GrowingPlane plane(dir / "f.tif", 10, dir / "top.tif", failing);
  std::thread fail([&] { failing->Fail("band 1 failed"); });
  EXPECT_THROW(ReadPlane(dir / "f.tif"), ImagingError);
  fail.join();
}

}  // namespace
}  // namespace qm::imaging
