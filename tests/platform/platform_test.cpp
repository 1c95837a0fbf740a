// The platform layer: file operations that report their failures, atomic
// replacement, listings with the system's wildcard rules, text files,
// parallel loops and the job lock.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "platform/atomic_file.h"
#include "platform/job_lock.h"
#include "platform/open_writers.h"
#include "platform/parallel.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"

// This program's fsync, which the platform library calls: counted, and made
// to fail on demand.
static std::atomic<int> fsyncCalls{0};
static std::atomic<bool> failFsync{false};
extern "C" int fsync(int fd) {
  ++fsyncCalls;
  if (!failFsync) return static_cast<int>(::syscall(SYS_fsync, fd));
  errno = EIO;
  return -1;
}

namespace qm {
namespace {

TEST(AtomicFile, ReplacesWholeOrKeepsTheOldFileAndLeavesNoTemporary) {
  test::TempDir dir;
  const auto path = dir / "initiation.ini";
  test::WriteFileBytes(path, "old");
  {
    auto file = AtomicFile::Create(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file.value()->tempPath().filename().string().rfind(TemporaryNamePrefix(path), 0), 0u);
    test::WriteFileBytes(file.value()->tempPath(), "abandoned");
  }  // not committed: removed, the old file kept
  EXPECT_EQ(test::ReadFileBytes(path), "old");
  fsyncCalls = 0;
  ASSERT_TRUE(WriteFileAtomically(path, "new content"));
  EXPECT_EQ(test::ReadFileBytes(path), "new content");
  EXPECT_EQ(fsyncCalls, 2) << "the file and its folder are flushed";
  failFsync = true;  // a flush that fails keeps the old file
  EXPECT_FALSE(WriteFileAtomically(path, "lost"));
  failFsync = false;
  EXPECT_EQ(test::ReadFileBytes(path), "new content");
  // A target that cannot be replaced (a folder of that name) fails.
  std::filesystem::create_directory(dir / "busy.ini");
  test::WriteFileBytes(dir / "busy.ini" / "inside", "x");
  EXPECT_FALSE(WriteFileAtomically(dir / "busy.ini", "data"));
  EXPECT_FALSE(WriteFileAtomically(dir / "no" / "such" / "folder.ini", "data"));
  EXPECT_EQ(ListFolder(dir.path(), ".*", EntryKind::Files).size(), 0u);
}

TEST(FolderWriters, AWriterHoldsItsFileAndAChangeWithoutCloseSettles) {
  test::TempDir dir;
  FolderWriters patient(dir.path()), prompt(dir.path(), std::chrono::seconds(0));
  const auto path = dir / "art.pdf";
  test::WriteFileBytes(path, "%PDF");  // written and closed: done
  EXPECT_FALSE(patient.Writing().contains("art.pdf"));
  std::FILE* open = std::fopen(path.c_str(), "ab");
  ASSERT_NE(open, nullptr);
  EXPECT_TRUE(prompt.Writing().contains("art.pdf")) << "held open for writing";
  std::fclose(open);
  EXPECT_FALSE(prompt.Writing().contains("art.pdf"));
  ASSERT_EQ(::truncate(path.c_str(), 2), 0);  // changed by path: no close follows
  EXPECT_TRUE(patient.Writing().contains("art.pdf")) << "changed moments ago";
  EXPECT_FALSE(prompt.Writing().contains("art.pdf")) << "a change nobody holds open settles";
}

TEST(FileOps, ReportFailuresAndResolveLetterCase) {
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
  test::WriteFileBytes(dir / "Linear.TXT", "x");
  EXPECT_EQ(ResolveCaseInsensitive(dir.path(), "linear.txt"), dir / "Linear.TXT");
}

TEST(Listing, WindowsWildcardsAndCaseInsensitiveOrder) {
  const struct { const char* pattern; const char* name; bool match; } rows[] = {
      {"*.tif?", "photo_0.tiff", true}, {"*.tif?", "PHOTO_0.TIF", true}, {"*.tif?", "photo_0.tiffx", false},
      {"*.pr?", "photo.pr", true},      {"*.pr?", "photo.prn.tmp", false}, {"*.*", "README", true},
      {"*.cfg", "Default.CFG", true},   {"00_*.tiff", "00_L0.tif", false}, {"a?c", "ac", false},
      {"a?c", "abc", true}};
  for (const auto& r : rows) EXPECT_EQ(WildcardMatch(r.pattern, r.name), r.match) << r.pattern << " " << r.name;
  test::TempDir dir;
  for (const char* name : {"b.tif", "A.tif", "a.tif", "C.tiff", "d.txt"}) test::WriteFileBytes(dir / name, "x");
  std::filesystem::create_directory(dir / "sub.tif");
  EXPECT_EQ(ListFolder(dir.path(), "*.tif?", EntryKind::Files),
            (std::vector<std::string>{"A.tif", "a.tif", "b.tif", "C.tiff"}));
  EXPECT_EQ(ListFolder(dir.path(), "*", EntryKind::Folders), (std::vector<std::string>{"sub.tif"}));
}

TEST(Text, LinesFieldsAndNames) {
  test::TempDir dir;
  const char text[] = "one\r\ntwo\nk=\xE9\x00z\r\n\r\nfive";
  test::WriteFileBytes(dir / "t.txt", std::string(text, sizeof text - 1));
  EXPECT_EQ(*ReadLines(dir / "t.txt", 6),
            (std::vector<std::string>{"one", "two", std::string("k=\xE9\x00z", 5), "", "five", ""}));
  EXPECT_FALSE(ReadLines(dir / "missing.txt", 3));
  EXPECT_FALSE(ReadLines(dir.path(), 3));  // a folder is not a text file
  EXPECT_EQ(SplitKeyValue("dfPAPPPath=C:\\a=b").value, "C:\\a");
  EXPECT_EQ(Field("0,1,2,3,L0", ',', 4), "L0");
  EXPECT_EQ(Field("0,, 2", ',', 2), " 2");
  EXPECT_EQ(SplitFields("a\tb\t", '\t'), (std::vector<std::string>{"a", "b", ""}));
  EXPECT_DOUBLE_EQ(ParseLeadingDouble("  12.5inch"), 12.5);
}

TEST(ParallelFor, RunsEveryIndexOnceAndRethrowsAfterAllFinish) {
  for (int threads : {1, 2, 18}) {
    std::vector<std::atomic<int>> hits(37);
    ParallelFor(hits.size(), threads, [&](std::size_t i) { hits[i]++; });
    for (auto& h : hits) EXPECT_EQ(h.load(), 1);
    EXPECT_EQ(LastParallelThreadCount(), threads);
  }
  std::atomic<int> done{0};
  EXPECT_THROW(ParallelFor(18, 18,
                           [&](std::size_t i) {
                             if (i == 5) throw std::runtime_error("plane 5 unreadable");
                             done++;
                           }),
               std::runtime_error);
  EXPECT_EQ(done.load(), 17);
}

TEST(JobLock, OneJobPerAppDirAndTheRipInFolders) {
  test::TempDir dir;
  SetAppDirOverride(dir.path());
  EXPECT_EQ(UserPrnDir(), dir.path() / "RipIn" / "UserPrn" / "");
  EXPECT_TRUE(std::filesystem::is_directory(WorkingDir()));
  {
    JobLock first;
    ASSERT_TRUE(first.Held());
    EXPECT_FALSE(JobLock().Held());
  }
  EXPECT_TRUE(JobLock().Held());
  SetAppDirOverride({});
}

}  // namespace
}  // namespace qm
