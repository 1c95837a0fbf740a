// Planes that are never whole in memory: turned through tiles, and growing
// while they are read.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "imaging/growing_plane.h"
#include "imaging/imaging.h"
#include "tests/support/test_support.h"

namespace qm::imaging {
namespace {

Plane Bytes(uint32_t w, uint32_t h, uint32_t seed) {
  Plane p;
  p.width = w;
  p.height = h;
  p.xResolution = 300;
  p.yResolution = 150;
  p.pixels.resize(std::size_t{w} * h);
  for (std::size_t i = 0; i < p.pixels.size(); ++i) p.pixels[i] = float((static_cast<uint32_t>(i * 31 + seed) * 2654435761u >> 24) * 257);
  return p;
}

// Several tiles each way with partial tiles at the edges, at 8 and 16 bits.
TEST(PlaneStream, TurnedFileHoldsTheRotatedPlane) {
  test::TempDir dir;
  for (int depth : {8, 16}) {
    for (int degrees : {90, -90}) {
      const Plane source = Bytes(300, 530, 7);
      WritePlane(dir / "p.tif", source, depth);
      TurnPlaneFile(dir / "p.tif", dir / "t.tif", degrees);
      Plane expected = ReadPlane(dir / "p.tif");
      Rotate(expected, degrees);
      const Plane turned = ReadPlane(dir / "t.tif");
      EXPECT_EQ(turned.depth, depth);
      EXPECT_DOUBLE_EQ(turned.xResolution, expected.xResolution);
      ASSERT_EQ(turned.width, expected.width);
      EXPECT_EQ(turned.pixels, expected.pixels) << depth << " bits, " << degrees;
      EXPECT_EQ(ReadPlaneRows(dir / "t.tif", 257, 3).pixels,
                std::vector<float>(expected.Row(257), expected.Row(260)));
    }
  }
}

// A plane stitched from two bands and a blank band: readers of missing rows
// wait, the rows read back as written, and a failure reaches the waiting reader.
TEST(PlaneStream, GrowingPlaneIsReadAsItsBandsArrive) {
  test::TempDir dir;
  const Plane top = Bytes(40, 7, 1), middle = Bytes(40, 5, 2);
  WritePlane(dir / "top.tif", top, 8);
  WritePlane(dir / "middle.tif", middle, 8);
  auto gate = std::make_shared<RowGate>(15);
  {
    GrowingPlane plane(dir / "g.tif", 15, dir / "top.tif", gate);
    plane.CopyRows(0, dir / "top.tif");
    gate->Complete(0, 7);
    EXPECT_EQ(ReadPlaneRows(dir / "g.tif", 0, 7).pixels, top.pixels);
    std::filesystem::rename(dir / "g.tif", dir / "moved.tif");  // still the same plane
    std::vector<float> waited;
    std::thread reader([&] { waited = ReadPlaneRows(dir / "moved.tif", 6, 9).pixels; });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(waited.empty());
    plane.BlankRows(12, 3);
    plane.CopyRows(7, dir / "middle.tif");
    gate->Complete(7, 8);
    reader.join();
    std::vector<float> expected(top.Row(6), top.Row(7));
    expected.insert(expected.end(), middle.pixels.begin(), middle.pixels.end());
    expected.resize(expected.size() + 3 * 40, 65535.0f);
    EXPECT_EQ(waited, expected);
    EXPECT_TRUE(gate->Done());
  }
  auto failing = std::make_shared<RowGate>(10);
  GrowingPlane plane(dir / "f.tif", 10, dir / "top.tif", failing);
  std::thread fail([&] { failing->Fail("band 1 failed"); });
  EXPECT_THROW(ReadPlane(dir / "f.tif"), ImagingError);
  fail.join();
}

}  // namespace
}  // namespace qm::imaging
