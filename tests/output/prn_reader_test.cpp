// Reading printer files back: dot counts against the planes written, and
// the size check.
#include "output/prn_reader.h"

#include <gtest/gtest.h>

#include <random>

#include "output/prn_file.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

const DotLevels kLevels111{16384, 32768, 1, 1};

// Planes with known counts: plane p holds pixel values cycling through the
// four 2-bit codes with a pattern that depends on p.
struct Sample {
  uint32_t w, h, n;
  std::vector<std::vector<float>> planes;
  std::vector<PrnDotCounts> counts2;  // expected for bits 2
  std::vector<PrnDotCounts> counts1;  // expected for bits 1
};

Sample MakeSample(uint32_t w, uint32_t h, uint32_t n) {
  Sample s{w, h, n, {}, {}, {}};
  const float values[4] = {0.0f, 16384.0f, 32768.0f, 65535.0f};
  std::mt19937 rng(w * 131 + h * 7 + n);
  for (uint32_t p = 0; p < n; ++p) {
    std::vector<float> plane(static_cast<std::size_t>(w) * h);
    PrnDotCounts c2{}, c1{};
    for (auto& v : plane) {
      const unsigned code = rng() % (p + 2) % 4;
      v = values[code];
      c2[code]++;
      c1[code ? 1 : 0]++;
    }
    s.planes.push_back(std::move(plane));
    s.counts2.push_back(c2);
    s.counts1.push_back(c1);
  }
  return s;
}

fs::path WriteSample(const TempDir& dir, const Sample& s, int bits, const std::string& name) {
  std::vector<const float*> ptrs;
  for (const auto& p : s.planes) ptrs.push_back(p.data());
  EXPECT_TRUE(WritePrnFile(dir / name, 720, 360, s.w, s.h, bits, ptrs, kLevels111));
  return dir / name;
}

TEST(PrnRead, CountsMatchThePlanesForBothDepthsAndAwkwardWidths) {
  TempDir dir;
  for (uint32_t w : {0u, 1u, 16u, 17u, 31u, 32u, 33u, 63u, 64u, 65u, 130u}) {
    const Sample s = MakeSample(w, 5, 5);
    for (int bits : {1, 2}) {
      auto reader = PrnReader::Open(WriteSample(dir, s, bits, "s.prn"));
      ASSERT_TRUE(reader);
      EXPECT_TRUE(reader->sizeOk());
      EXPECT_TRUE(reader->layoutOk());
      EXPECT_EQ(reader->header().width, w);
      const auto counts = CountPrnDots(*reader);
      ASSERT_TRUE(counts);
      EXPECT_EQ(*counts, bits == 2 ? s.counts2 : s.counts1) << "width " << w << " bits " << bits;
    }
  }
}

TEST(PrnRead, TailBytesAreIgnored) {
  // Width 5 at 2 bits: pixel 4 in the top of byte 1; garbage after it.
  const uint8_t row[4] = {0x1B, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(CountRowDots(row, 5, 2), (PrnDotCounts{1, 1, 1, 2}));
  const uint8_t row1[4] = {0x90, 0x7F, 0xFF, 0xFF};  // pixel 9 is bit 6 of byte 1: 1
  EXPECT_EQ(CountRowDots(row1, 10, 1), (PrnDotCounts{7, 3, 0, 0}));
  EXPECT_EQ(CountRowDots(row1, 9, 1), (PrnDotCounts{7, 2, 0, 0}));
}

TEST(PrnRead, TruncatedFileFailsTheSizeCheck) {
  TempDir dir;
  const Sample s = MakeSample(20, 3, 4);
  const fs::path path = WriteSample(dir, s, 2, "t.prn");
  std::string bytes = ReadFileBytes(path);
  WriteFileBytes(path, bytes.substr(0, bytes.size() - 1));
  auto reader = PrnReader::Open(path);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->header().height, 3u);
  EXPECT_FALSE(reader->sizeOk());
  EXPECT_FALSE(CountPrnDots(*reader));
  // One byte too many is as wrong as one too few.
  WriteFileBytes(path, bytes + '\0');
  EXPECT_FALSE(PrnReader::Open(path)->sizeOk());
  // Fewer than 48 bytes is not a printer file at all.
  WriteFileBytes(path, bytes.substr(0, 47));
  EXPECT_EQ(PrnReader::Open(path).cause(), path.string() + " is shorter than a 48-byte PRN header");
  EXPECT_FALSE(PrnReader::Open(dir / "missing.prn"));
}

}  // namespace
}  // namespace qm
