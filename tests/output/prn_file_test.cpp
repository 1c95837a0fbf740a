// The writer: whole files byte for byte, temporary names, positional writes
// from threads, and failures that must never look like success.
#include "output/prn_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>
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

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

std::vector<std::string> FolderNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PrnWrite, ReferenceOneBitFileByteForByte) {
  TempDir dir;
  // 10 x 2, four channels; row 0 of channel "0" has dots at pixels 0, 3, 9.
  std::vector<std::vector<float>> planes(4, std::vector<float>(20, 0.0f));
  planes[0][0] = planes[0][3] = planes[0][9] = 65535.0f;
  planes[2][10 + 1] = 65535.0f;  // row 1 of channel "2", pixel 1
  std::vector<const float*> ptrs;
  for (auto& p : planes) ptrs.push_back(p.data());
  std::string error;
  ASSERT_TRUE(WritePrnFile(dir / "photo.prn", 360, 720, 10, 2, 1, ptrs, kLevels111, &error)) << error;
  const std::string expected =
      Bytes({0x55, 0x55, 0, 0, 0x68, 0x01, 0, 0, 0xD0, 0x02, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0,
             0x0A, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
             0, 0, 0, 0,
             // row 0: channels 0..3
             0x90, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
             // row 1: channels 0..3
             0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(FirstDifference(expected, ReadFileBytes(dir / "photo.prn")), "");
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"photo.prn"});
}

TEST(PrnWrite, ReferenceTwoBitRow) {
  TempDir dir;
  std::vector<float> plane = {0, 16384, 32768, 65535, 65535};
  std::vector<float> blank(5, 0.0f);
  const float* ptrs[] = {plane.data(), blank.data(), blank.data(), blank.data()};
  ASSERT_TRUE(WritePrnFile(dir / "a.prn", 720, 720, 5, 1, 2, ptrs, kLevels111));
  const std::string bytes = ReadFileBytes(dir / "a.prn");
  ASSERT_EQ(bytes.size(), 48u + 16u);
  EXPECT_EQ(FirstDifference(Bytes({0x1B, 0xC0, 0, 0}), bytes.substr(48, 4)), "");
  EXPECT_EQ(bytes[32], 2);
}

TEST(PrnWrite, HeightZeroIsHeaderAlone) {
  TempDir dir;
  std::vector<float> none;
  const float* ptrs[] = {none.data(), none.data(), none.data(), none.data()};
  ASSERT_TRUE(WritePrnFile(dir / "a.prn", 720, 720, 100, 0, 2, ptrs, kLevels111));
  EXPECT_EQ(fs::file_size(dir / "a.prn"), 48u);
}

TEST(PrnWrite, WidthZeroRowsAreZeroWords) {
  TempDir dir;
  std::vector<float> none;
  const float* ptrs[] = {none.data(), none.data(), none.data(), none.data()};
  ASSERT_TRUE(WritePrnFile(dir / "a.prn", 720, 720, 0, 3, 1, ptrs, kLevels111));
  const std::string bytes = ReadFileBytes(dir / "a.prn");
  ASSERT_EQ(bytes.size(), 48u + 3u * 4u * 4u);
  EXPECT_EQ(bytes.substr(48), std::string(48, '\0'));
}

TEST(PrnWrite, RejectsBadBitsAndChannelCounts) {
  TempDir dir;
  std::vector<float> p(4, 1.0f);
  const float* four[] = {p.data(), p.data(), p.data(), p.data()};
  std::string error;
  EXPECT_FALSE(WritePrnFile(dir / "a.prn", 720, 720, 2, 2, 3, four, kLevels111, &error));
  EXPECT_NE(error, "");
  EXPECT_FALSE(WritePrnFile(dir / "a.prn", 720, 720, 2, 2, 2, {}, kLevels111));
  EXPECT_TRUE(FolderNames(dir.path()).empty());
}

TEST(PrnFileWriter, TemporaryNameIsNotListedAsPrinterFile) {
  TempDir dir;
  auto file = PrnFile::Create(dir / "photo.prn");
  ASSERT_TRUE(file);
  const std::string temp = file->tempPath().filename().string();
  EXPECT_EQ(file->tempPath().parent_path(), dir.path());
  EXPECT_EQ(temp.rfind(PrnTempNamePrefix(dir / "photo.prn"), 0), 0u) << temp;
  EXPECT_FALSE(WildcardMatch("*.pr?", temp)) << temp;
  EXPECT_EQ(ListFolder(dir.path(), "*.pr?"), std::vector<std::string>{});
  EXPECT_TRUE(fs::exists(file->tempPath()));
  EXPECT_FALSE(fs::exists(dir / "photo.prn"));
}

TEST(PrnFileWriter, DestroyedWithoutCommitRemovesTemporaryAndKeepsOldFile) {
  TempDir dir;
  WriteFileBytes(dir / "photo.prn", "old");
  {
    auto file = PrnFile::Create(dir / "photo.prn");
    ASSERT_TRUE(file);
    const std::vector<uint8_t> row(100, 7);
    ASSERT_TRUE(file->Append(row));
  }
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"photo.prn"});
  EXPECT_EQ(ReadFileBytes(dir / "photo.prn"), "old");
}

TEST(PrnFileWriter, CommitReplacesOldFile) {
  TempDir dir;
  WriteFileBytes(dir / "photo.prn", "old contents that are longer than the new file");
  auto file = PrnFile::Create(dir / "photo.prn");
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->WriteHeader(*MakePrnHeader(720, 720, 0, 0, 4, 2)));
  ASSERT_TRUE(file->Commit());
  EXPECT_EQ(fs::file_size(dir / "photo.prn"), 48u);
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"photo.prn"});
}

TEST(PrnFileWriter, CommitWithExpectedSizeCatchesMissingRows) {
  TempDir dir;
  const auto header = *MakePrnHeader(720, 720, 8, 2, 4, 1);
  auto file = PrnFile::Create(dir / "photo.prn");
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->WriteHeader(header));
  const std::vector<uint8_t> row(header.rowStride, 0xFF);
  for (uint32_t p = 0; p < 4; ++p) ASSERT_TRUE(file->WriteAt(PrnRowOffset(header, 0, p), row));
  // Row 1 never written: the file is 16 bytes short.
  EXPECT_FALSE(file->Commit(PrnExpectedFileSize(header)));
  EXPECT_NE(file->error().find("not 80"), std::string::npos) << file->error();
  EXPECT_TRUE(FolderNames(dir.path()).empty());
}

TEST(PrnFileWriter, CreateInMissingFolderFails) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(PrnFile::Create(dir / "missing" / "photo.prn", &error));
  EXPECT_NE(error, "");
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
    ASSERT_TRUE(file->Append(piece));
    expected.append(piece.begin(), piece.end());
  }
  std::vector<uint8_t> huge(3 << 20, 0x5A);
  ASSERT_TRUE(file->Append(huge));
  expected.append(huge.begin(), huge.end());
  const auto header = SerializePrnHeader(*MakePrnHeader(1, 2, 3, 4, 5, 1));
  ASSERT_TRUE(file->WriteHeader(*ParsePrnHeader(header)));
  expected.replace(0, 48, std::string(header.begin(), header.end()));
  ASSERT_TRUE(file->Commit()) << file->error();
  EXPECT_EQ(FirstDifference(expected, ReadFileBytes(dir / "big.prn")), "");
}

TEST(PrnFileWriter, PositionalRowsFromThreadsMatchStraightThrough) {
  TempDir dir;
  const uint32_t w = 37, h = 40, n = 6;
  std::vector<std::vector<float>> planes(n, std::vector<float>(w * h));
  for (uint32_t p = 0; p < n; ++p)
    for (uint32_t i = 0; i < w * h; ++i)
      planes[p][i] = static_cast<float>(((i * 7 + p * 13) % 5) * 16384 % 65536);
  std::vector<const float*> ptrs;
  for (auto& p : planes) ptrs.push_back(p.data());
  ASSERT_TRUE(WritePrnFile(dir / "straight.prn", 720, 720, w, h, 2, ptrs, kLevels111));

  const auto header = *MakePrnHeader(720, 720, w, h, n, 2);
  auto file = PrnFile::Create(dir / "bands.prn");
  ASSERT_TRUE(file);
  std::vector<std::thread> workers;
  for (uint32_t t = 0; t < 4; ++t) {
    workers.emplace_back([&, t] {
      std::vector<uint8_t> row(header.rowStride);
      // Each worker takes bands of 10 rows, channels in reverse order.
      for (uint32_t y = t * 10; y < t * 10 + 10; ++y)
        for (uint32_t p = n; p-- > 0;) {
          PackPrnRow(std::span(planes[p]).subspan(y * w, w), 2, kLevels111, row);
          EXPECT_TRUE(file->WriteAt(PrnRowOffset(header, y, p), row));
        }
    });
  }
  for (auto& t : workers) t.join();
  ASSERT_TRUE(file->WriteHeader(header));
  ASSERT_TRUE(file->Commit());
  EXPECT_EQ(FirstDifference(ReadFileBytes(dir / "straight.prn"), ReadFileBytes(dir / "bands.prn")),
            "");
}

// Runs `body` in a child limited to `limit` bytes per file, with SIGXFSZ
// ignored so that an oversized write fails with EFBIG instead of killing it.
// The child's exit status is body's result: 0 for true.
int RunWithFileSizeLimit(rlim_t limit, const std::function<bool()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit rl{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &rl);
    ::_exit(body() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST(PrnFileWriter, FailedWriteIsFailureAndKeepsOldFile) {
  TempDir dir;
  WriteFileBytes(dir / "photo.prn", "old");
  const fs::path path = dir / "photo.prn";
  // 64 x 64 at 2 bits, 4 channels: 48 + 64 x 4 x 20 = 5168 bytes, limit 4096.
  const int status = RunWithFileSizeLimit(4096, [&] {
    std::vector<float> plane(64 * 64, 65535.0f);
    const float* ptrs[] = {plane.data(), plane.data(), plane.data(), plane.data()};
    std::string error;
    const bool ok = WritePrnFile(path, 720, 720, 64, 64, 2, ptrs, kLevels111, &error);
    return !ok && !error.empty();  // success of the child: the write was refused
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"photo.prn"});
  EXPECT_EQ(ReadFileBytes(path), "old");
}

TEST(PrnFileWriter, FailedPositionalWriteFailsCommit) {
  TempDir dir;
  const fs::path path = dir / "photo.prn";
  const int status = RunWithFileSizeLimit(1000, [&] {
    auto file = PrnFile::Create(path);
    if (!file) return false;
    const std::vector<uint8_t> row(100, 1);
    if (!file->WriteAt(0, row)) return false;
    if (file->WriteAt(2000, row)) return false;  // beyond the limit
    return file->failed() && !file->Commit();
  });
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(FolderNames(dir.path()).empty());
}

}  // namespace
}  // namespace qm
