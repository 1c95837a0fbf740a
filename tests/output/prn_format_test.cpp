// Header bytes, row stride, row packing and channel positions.
#include "output/prn_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace qm {
namespace {

std::string Hex(std::span<const uint8_t> bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i) s += ' ';
    s += kHex[bytes[i] >> 4];
    s += kHex[bytes[i] & 15];
  }
  return s;
}

DotLevels Levels(int32_t middle, int32_t large, int32_t middleEnabled, int32_t largeEnabled) {
  return DotLevels{middle, large, middleEnabled, largeEnabled};
}

const DotLevels kLevels111 = Levels(16384, 32768, 1, 1);

std::vector<uint8_t> Pack(const std::vector<float>& row, int bits, const DotLevels& lv = kLevels111) {
  std::vector<uint8_t> out(PrnRowStride(static_cast<uint32_t>(row.size()), bits), 0xEE);
  EXPECT_TRUE(PackPrnRow(row, bits, lv, out));
  return out;
}

// Independent oracle: the packing written pixel by pixel from the rules.
std::vector<uint8_t> PackOracle(const std::vector<float>& row, int bits, const DotLevels& lv) {
  const std::size_t w = row.size();
  std::vector<uint8_t> out((w * static_cast<std::size_t>(bits)) / 32 * 4 + 4, 0);
  for (std::size_t x = 0; x < w; ++x) {
    if (bits == 1) {
      if (row[x] != 0.0f) out[x / 8] |= static_cast<uint8_t>(1u << (7 - x % 8));
      continue;
    }
    const float f = row[x];
    int64_t v = std::numeric_limits<int32_t>::min();
    if (!std::isnan(f) && std::trunc(f) >= -2147483648.0 && std::trunc(f) <= 2147483647.0)
      v = static_cast<int64_t>(std::trunc(f));
    unsigned code;
    if (v == 0) code = 0;
    else if (v == lv.middle) code = 1;
    else if (v == lv.large) code = 2;
    else if (lv.largeEnabled == 1) code = 3;
    else if (lv.middleEnabled == 1) code = 2;
    else code = 1;
    const unsigned k = static_cast<unsigned>(x % 4);
    out[x / 4] |= static_cast<uint8_t>(code << (6 - 2 * k));
  }
  return out;
}

TEST(PrnHeader, ReferenceHeaderOneBitBytes) {
  const auto h = MakePrnHeader(360, 720, 10, 2, 4, 1);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->rowStride, 4u);
  EXPECT_EQ(PrnExpectedFileSize(*h), 80u);
  const std::vector<uint8_t> expected = {
      0x55, 0x55, 0x00, 0x00, 0x68, 0x01, 0x00, 0x00, 0xD0, 0x02, 0x00, 0x00,
      0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
      0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0};
  const auto bytes = SerializePrnHeader(*h);
  EXPECT_EQ(Hex(bytes), Hex(expected));
  EXPECT_EQ(PrnRowOffset(*h, 0, 0), 48u);
  EXPECT_EQ(PrnRowOffset(*h, 0, 3), 60u);
  EXPECT_EQ(PrnRowOffset(*h, 1, 0), 64u);
}

// One byte of a sound header changed per case, and the problem it names.
TEST(PrnHeader, ParseReportsEveryBadField) {
  const auto bytes = SerializePrnHeader(*MakePrnHeader(720, 720, 180, 90, 4, 2));
  EXPECT_EQ(PrnHeaderProblem(*ParsePrnHeader(bytes)), "");
  const struct {
    std::size_t offset;
    uint8_t value;
    const char* problem;
  } cases[] = {
      {0, 0x54, "signature is 21844, not 21845"},
      {32, 3, "bits is 3, not 1 or 2"},
      {12, 44, "row stride 44 does not match width 180 (expected 48)"},
      {28, 19, "channel count 19 is outside 4..18"},
      {28, 3, "channel count 3 is outside 4..18"},
      {25, 1, "reserved field at offset 24 is not 0"},
      {33, 1, "reserved byte 33 is not 0"},
      {40, 0x7F, "reserved byte 40 is not 0"},
      {47, 0xFF, "reserved byte 47 is not 0"},
  };
  for (const auto& c : cases) {
    auto broken = bytes;
    broken[c.offset] = c.value;
    EXPECT_EQ(PrnHeaderProblem(*ParsePrnHeader(broken)), c.problem) << "offset " << c.offset;
  }
}

TEST(PrnHeader, RowStride) {
  EXPECT_EQ(PrnRowStride(0, 1), 4u);
  EXPECT_EQ(PrnRowStride(32, 1), 8u);
  EXPECT_EQ(PrnRowStride(17, 2), 8u);
  EXPECT_EQ(PrnRowStride(10, 3), 0u);
  // Computed in 64 bits: no wrap for the widest widths.
  EXPECT_EQ(PrnRowStride(0xFFFFFFFFu, 2), 0x40000000u);
  EXPECT_EQ(PrnRowStride(0x7FFFFFFFu, 2), 0x20000000u);
  EXPECT_EQ(PrnRowStride(0xFFFFFFFFu, 1), 0x20000000u);
  EXPECT_FALSE(MakePrnHeader(720, 720, 10, 2, 0, 2));
  EXPECT_FALSE(MakePrnHeader(720, 720, 10, 2, 19, 2));
  EXPECT_FALSE(MakePrnHeader(720, 720, 10, 2, 4, 8));
}

TEST(PrnPack, MatchesOracleOnRandomRowsOfManyWidths) {
  std::mt19937 rng(12345);
  const std::vector<DotLevels> levelSets = {kLevels111, Levels(65535, 65535, 1, 1),
                                            Levels(0, 0, 0, 0), Levels(0, 65535, 0, 1),
                                            Levels(16384, 32768, 1, 0), Levels(-5, 3, 0, 0),
                                            Levels(1, 2, 2, 2)};  // a flag counts only when it is 1
  const std::vector<float> specials = {0.0f, -0.0f, 0.25f, 0.999f, 1.0f, -1.0f, -5.0f, 3.0f,
                                       16384.0f, 16384.5f, 32768.0f, 32767.99f, 65535.0f,
                                       65534.9f, 1e10f, -1e10f, 2147483648.0f,
                                       std::numeric_limits<float>::quiet_NaN(),
                                       std::numeric_limits<float>::infinity()};
  for (const DotLevels& lv : levelSets) {
    for (std::size_t w = 0; w < 300; w += (w < 140 ? 1 : 37)) {
      std::vector<float> row(w);
      for (auto& v : row) v = specials[rng() % specials.size()];
      for (int bits : {1, 2}) {
        const auto got = Pack(row, bits, lv);
        const auto want = PackOracle(row, bits, lv);
        ASSERT_EQ(Hex(got), Hex(want)) << "width " << w << " bits " << bits << " middle "
                                       << lv.middle << " large " << lv.large;
      }
    }
  }
}

}  // namespace
}  // namespace qm
