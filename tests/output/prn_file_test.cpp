// The writer: a file with rows missing is no success, and appends that span
// its buffer land where they belong.
#include "output/prn_file.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::FirstDifference;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

const DotLevels kLevels111{16384, 32768, 1, 1};

std::vector<std::string> FolderNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PrnFileWriter, CommitWithExpectedSizeCatchesMissingRows) {
  TempDir dir;
  const auto header = *MakePrnHeader(720, 720, 8, 2, 4, 1);
  auto file = PrnFile::Create(dir / "photo.prn");
  ASSERT_TRUE(file);
  ASSERT_TRUE(file.value()->WriteHeader(header));
  const std::vector<uint8_t> row(header.rowStride, 0xFF);
  for (uint32_t p = 0; p < 4; ++p) ASSERT_TRUE(file.value()->WriteAt(PrnRowOffset(header, 0, p), row));
  // Row 1 never written: the file is 16 bytes short.
  EXPECT_FALSE(file.value()->Commit(PrnExpectedFileSize(header)));
  EXPECT_NE(file.value()->error().find("not 80"), std::string::npos) << file.value()->error();
  EXPECT_TRUE(FolderNames(dir.path()).empty());
}

TEST(PrnFileWriter, AppendPositionStartsAfterHeaderAndSpansBufferFlushes) {
  TempDir dir;
  auto file = PrnFile::Create(dir / "big.prn");
  ASSERT_TRUE(file);
  // More than the append buffer, in odd-sized pieces, then the header last.
  std::string expected(48, '\0');
  std::vector<uint8_t> piece(777);
  for (int i = 0; i < 3000; ++i) {
    for (std::size_t k = 0; k < piece.size(); ++k) piece[k] = static_cast<uint8_t>(i * 31 + k);
    ASSERT_TRUE(file.value()->Append(piece));
    expected.append(piece.begin(), piece.end());
  }
  std::vector<uint8_t> huge(3 << 20, 0x5A);
  ASSERT_TRUE(file.value()->Append(huge));
  expected.append(huge.begin(), huge.end());
  const auto header = SerializePrnHeader(*MakePrnHeader(1, 2, 3, 4, 5, 1));
  ASSERT_TRUE(file.value()->WriteHeader(*ParsePrnHeader(header)));
  expected.replace(0, 48, std::string(header.begin(), header.end()));
  ASSERT_TRUE(file.value()->Commit()) << file.value()->error();
  EXPECT_EQ(FirstDifference(expected, ReadFileBytes(dir / "big.prn")), "");
}

}  // namespace
}  // namespace qm
