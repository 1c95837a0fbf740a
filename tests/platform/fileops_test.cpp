#include <gtest/gtest.h>

#include "platform/job_lock.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

TEST(WriteFileAtomically, ReplacesWholeOrKeepsTheOldFile) {
  test::TempDir dir;
  const auto path = dir / "initiation.ini";
  test::WriteFileBytes(path, "old");
  ASSERT_TRUE(WriteFileAtomically(path, "new content"));
  EXPECT_EQ(test::ReadFileBytes(path), "new content");
  // A target that cannot be replaced (a folder of that name) fails and leaves
  // no temporary file behind.
  std::filesystem::create_directory(dir / "busy.ini");
  test::WriteFileBytes(dir / "busy.ini" / "inside", "x");
  EXPECT_FALSE(WriteFileAtomically(dir / "busy.ini", "data"));
  EXPECT_EQ(ListFolder(dir.path(), "*.tmp").size(), 0u);
  EXPECT_FALSE(WriteFileAtomically(dir / "no" / "such" / "folder.ini", "data"));
}

TEST(FileOps, IgnoreFailuresAndReportThem) {
  test::TempDir dir;
  EXPECT_FALSE(CopyFileOver(dir / "missing", dir / "to"));
  EXPECT_FALSE(MoveFile(dir / "missing", dir / "to"));
  EXPECT_FALSE(DeleteFile(dir / "missing"));
  test::WriteFileBytes(dir / "a", "1");
  test::WriteFileBytes(dir / "b", "2");
  EXPECT_TRUE(CopyFileOver(dir / "a", dir / "b"));
  EXPECT_EQ(test::ReadFileBytes(dir / "b"), "1");
  EXPECT_TRUE(MoveFile(dir / "b", dir / "c"));
  EXPECT_FALSE(std::filesystem::exists(dir / "b"));
  EXPECT_TRUE(CreateFolder(dir / "x" / "y"));
  EXPECT_FALSE(DeleteFile(dir / "x"));  // folders are not deleted
}

TEST(ResolveCaseInsensitive, FallsBackToAnotherLetterCase) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "Linear.TXT", "x");
  EXPECT_EQ(ResolveCaseInsensitive(dir.path(), "linear.txt"), dir / "Linear.TXT");
  EXPECT_EQ(ResolveCaseInsensitive(dir.path(), "Linear.TXT"), dir / "Linear.TXT");
  EXPECT_EQ(ResolveCaseInsensitive(dir.path(), "other.txt"), dir / "other.txt");
}

TEST(AppDir, OverrideWinsAndRipInFoldersAreCreated) {
  test::TempDir dir;
  SetAppDirOverride(dir.path());
  EXPECT_EQ(AppDir(), dir.path() / "");
  EXPECT_TRUE(std::filesystem::is_directory(WorkingDir()));
  EXPECT_EQ(UserPrnDir(), dir.path() / "RipIn" / "UserPrn" / "");
  SetAppDirOverride({});
}

TEST(JobLock, OneJobPerAppDir) {
  test::TempDir dir;
  SetAppDirOverride(dir.path());
  {
    JobLock first;
    ASSERT_TRUE(first.Held());
    JobLock second;
    EXPECT_FALSE(second.Held());
  }
  JobLock again;
  EXPECT_TRUE(again.Held());
  SetAppDirOverride({});
}

}  // namespace
}  // namespace qm
