// The writer's failures that must never look like success: a file left
// unfinished, rows missing, writes refused by a full disk; and appends that
// span its buffer.
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

std::vector<std::string> FolderNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
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
