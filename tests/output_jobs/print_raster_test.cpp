// The Print job's three raster modes on prepared slot files.
#include "output/print_raster.h"

#include <gtest/gtest.h>

#include <functional>

#include "output/job_support.h"
#include "output/prn_reader.h"
#include "tests/output_jobs/jobs_test_support.h"

namespace qm {
namespace {

using test::JobFixture;
using Renderer = RasterResult (*)(const PrintRaster&, PrnFile&);

struct Mode {
  const char* name;
  Renderer render;
};
const Mode kModes[] = {{"sequential", RenderSequential}, {"turbo", RenderTurbo}, {"bands", RenderBands}};

struct RasterTest : JobFixture, ::testing::Test {
  RasterTest() { setting = test::AppliedSetting(720); }

  // Six planes at 300 dpi (C, M, Y, K, S0, S1), tones as the PDF route gives
  // them (0 for full ink) when `inverted`.
  void WriteSixPlanes(uint32_t width, uint32_t height, bool inverted = true) {
    for (int slot : {0, 1, 2, 3, 12, 13}) {
      imaging::Plane p = test::TonePlane(width, height, 300, 6000.0f * (slot % 5), slot + 1);
      if (inverted) imaging::Negate(p);
      imaging::WritePlane(WorkingDir() / SlotFileName(slot), p, 16);
    }
  }

  PrintRaster Raster() { return PrintRaster{setting, host, WorkingDir(), {0, 1, 2, 3, 12, 13}}; }

  struct Output {
    RasterResult result;
    std::string bytes;
    PrnFileHeader header;
    std::vector<PrnDotCounts> dots;
  };
  Output Render(const Mode& mode, const PrintRaster& raster) {
    Output out;
    const fs::path path = UserPrnDir() / (std::string(mode.name) + ".prn");
    auto file = PrnFile::Create(path);
    EXPECT_TRUE(file);
    out.result = mode.render(raster, *file);
    if (!out.result.ok) return out;
    EXPECT_TRUE(file->Commit());
    out.bytes = test::ReadFileBytes(path);
    auto reader = PrnReader::Open(path);
    EXPECT_TRUE(reader && reader->layoutOk());
    out.header = reader->header();
    out.dots = *CountPrnDots(*reader);
    return out;
  }
};

// Ink dots of a position: every code but 00.
uint64_t Ink(const PrnDotCounts& c) { return c[1] + c[2] + c[3]; }

void ExpectSameImage(const RasterTest::Output& a, const RasterTest::Output& b, const char* what) {
  SCOPED_TRACE(what);
  EXPECT_EQ(a.header, b.header);
  EXPECT_EQ(a.bytes.size(), b.bytes.size());
  ASSERT_EQ(a.dots.size(), b.dots.size());
  for (std::size_t p = 0; p < a.dots.size(); ++p) {
    // The band renderer restarts the error diffusion at each band and the
    // resampling filter sees the band's own edges: the dots differ in place,
    // not in number.
    const double ia = double(Ink(a.dots[p])), ib = double(Ink(b.dots[p]));
    EXPECT_NEAR(ia, ib, 0.01 * std::max(ia, ib) + 1) << "position " << p;
  }
}

TEST_F(RasterTest, ThreeModesAgree) {
  WriteSixPlanes(90, 400);
  PrintRaster raster = Raster();
  raster.negate = true;
  const Output seq = Render(kModes[0], raster);
  const Output turbo = Render(kModes[1], raster);
  const Output bands = Render(kModes[2], raster);
  ASSERT_TRUE(seq.result.ok) << seq.result.error;
  ASSERT_TRUE(turbo.result.ok) << turbo.result.error;
  ASSERT_TRUE(bands.result.ok) << bands.result.error;
  EXPECT_EQ(seq.header.width, 216u);
  EXPECT_EQ(seq.header.height, 960u);
  EXPECT_EQ(seq.header.channels, 6u);
  EXPECT_EQ(seq.bytes, turbo.bytes) << "one plane pipeline, one packer";
  ExpectSameImage(seq, bands, "bands");
}

TEST_F(RasterTest, TurnsAgreeAcrossModes) {
  WriteSixPlanes(40, 300, false);
  for (int turn : {90, -90, 0}) {
    for (bool upward : {false, true}) {
      SCOPED_TRACE("turn " + std::to_string(turn) + (upward ? " upward" : ""));
      PrintRaster raster = Raster();
      raster.turn = turn;
      raster.upward = upward;
      const Output seq = Render(kModes[0], raster);
      const Output bands = Render(kModes[2], raster);
      ASSERT_TRUE(seq.result.ok && bands.result.ok) << seq.result.error << bands.result.error;
      EXPECT_EQ(seq.header.width, turn ? 720u : 96u);
      ExpectSameImage(seq, bands, "bands");
    }
  }
  EXPECT_EQ(ListFolder(WorkingDir(), "*.*").size(), 6u) << "the Working folder keeps the planes as separated";
}

TEST_F(RasterTest, UpsideDownBandsMatchTheWholeTurnedPlane) {
  // A plane with ink in its top quarter only: turned upward, the dots belong
  // in the bottom quarter of the file.
  imaging::Plane p = test::SolidPlane(64, 400, 720, 0.0f);
  for (uint32_t y = 0; y < 100; ++y) std::fill(p.Row(y), p.Row(y) + 64, 65535.0f);
  for (int slot : {0, 1, 2, 3}) imaging::WritePlane(WorkingDir() / SlotFileName(slot), p, 16);
  PrintRaster raster{setting, host, WorkingDir(), {0, 1, 2, 3}};
  raster.upward = true;
  const Output bands = Render(kModes[2], raster);
  const Output seq = Render(kModes[0], raster);
  ASSERT_TRUE(bands.result.ok) << bands.result.error;
  EXPECT_EQ(bands.bytes, seq.bytes) << "solid and blank tones halftone the same in bands";
}

// Bands resample in the whole plane's coordinates: at scales that are no
// whole number, the edges of a striped plane land on the rows sequential mode
// gives them. DitherMethod 4 leaves the resampled tones as they are and Bits
// 1 makes a dot of every tone above 0 (the filters' faint ringing included),
// so both files must agree byte for byte.
TEST_F(RasterTest, BandsKeepStripeEdgesOnTheRowsOfSequentialMode) {
  imaging::Plane p = test::SolidPlane(8, 500, 72, 0.0f);
  for (uint32_t y = 0; y < p.height; ++y) std::fill(p.Row(y), p.Row(y) + p.width, (y / 7) % 2 ? 65535.0f : 0.0f);
  for (int slot : {0, 1, 2, 3}) imaging::WritePlane(WorkingDir() / SlotFileName(slot), p, 16);
  for (int dpi : {100, 85, 30}) {
    SCOPED_TRACE(std::to_string(dpi) + " dpi");
    setting = test::AppliedSetting(dpi);
    setting.Bits = 1;
    setting.DitherMethod = 4;
    PrintRaster raster{setting, host, WorkingDir(), {0, 1, 2, 3}};
    const Output seq = Render(kModes[0], raster);
    const Output bands = Render(kModes[2], raster);
    ASSERT_TRUE(seq.result.ok && bands.result.ok) << seq.result.error << bands.result.error;
    EXPECT_EQ(test::FirstDifference(seq.bytes, bands.bytes), "");
  }
}

TEST_F(RasterTest, AbsentSlotIsABlankPosition) {
  WriteSixPlanes(30, 200);
  DeleteFile(WorkingDir() / SlotFileName(12));
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    const Output out = Render(mode, Raster());
    ASSERT_TRUE(out.result.ok) << out.result.error;
    EXPECT_EQ(out.bytes.size(), 48u + 6u * out.header.height * out.header.rowStride);
    EXPECT_EQ(Ink(out.dots[4]), 0u);
    EXPECT_GT(Ink(out.dots[5]), 0u);
  }
}

TEST_F(RasterTest, PlanesOfDifferentSizesFailInEveryMode) {
  WriteSixPlanes(30, 200);
  imaging::WritePlane(WorkingDir() / SlotFileName(2), test::TonePlane(31, 200, 300), 16);
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    const Output out = Render(mode, Raster());
    EXPECT_FALSE(out.result.ok);
    EXPECT_NE(out.result.error.find("00_2.tiff"), std::string::npos) << out.result.error;
  }
  EXPECT_TRUE(ListFolder(UserPrnDir(), "*.*").empty()) << "unfinished files are removed";
}

TEST_F(RasterTest, UnreadablePlaneFailsEveryModeOnAnyThread) {
  WriteSixPlanes(30, 200);
  test::WriteFileBytes(WorkingDir() / SlotFileName(13), "II*\0not a tiff at all");
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    const Output out = Render(mode, Raster());
    EXPECT_FALSE(out.result.ok);
    EXPECT_FALSE(out.result.error.empty());
  }
}

TEST_F(RasterTest, BandsReadEveryPlaneAtMostTwice) {
  // 3072 rows: 32 rows per band, so the overlaps add at most one more read.
  for (int slot : {0, 1, 2, 3}) {
    imaging::WritePlane(WorkingDir() / SlotFileName(slot), test::TonePlane(16, 3072, 720, 0, slot + 1), 8);
  }
  for (bool upward : {false, true}) {
    PrintRaster raster{setting, host, WorkingDir(), {0, 1, 2, 3}};
    raster.upward = upward;
    const Output out = Render(kModes[2], raster);
    ASSERT_TRUE(out.result.ok) << out.result.error;
    EXPECT_EQ(out.result.planeRows, 4u * 3072);
    EXPECT_LE(out.result.decodedRows, 2 * out.result.planeRows);
    EXPECT_GE(out.result.decodedRows, out.result.planeRows);
  }
}

}  // namespace
}  // namespace qm
