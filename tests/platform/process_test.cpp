// The contained runner of external programs and the texts the CLI writes
// about outside names: what a caller relies on when a program misbehaves.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/json.h"
#include "platform/process.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

TEST(RunProcess, ItsTemporaryFolderIsTheOneGivenInEveryVariable) {
  test::TempDir folder;
  const ProcessResult r = RunProcess({"/bin/sh", "-c", "echo $TMPDIR $TEMP $TMP $MAGICK_TEMPORARY_PATH"}, nullptr,
                                     ProcessLimits{0, folder.path()});
  const std::string f = folder.path().string();
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.output, f + " " + f + " " + f + " " + f + "\n");
}

TEST(RunProcess, AProgramThatCannotStartSaysWhy) {
  const ProcessResult r = RunProcess({"/no/such/program"});
  EXPECT_FALSE(r.started);
  EXPECT_EQ(r.output, "cannot start: No such file or directory");
}

// A program past its limit, and one that ends at once: either way the child
// it started in the background ends with its group.
TEST(RunProcess, WhatAProgramStartedEndsWithItsGroup) {
  struct Row {
    const char* script;  // starts `sleep 300` and writes its pid to $1
    bool timedOut;
    int exitStatus;
  };
  for (const Row& row : {Row{"sleep 300 & echo $! > \"$1\"; echo started; wait", true, 128 + SIGKILL},
                         Row{"sleep 300 >/dev/null 2>&1 & echo $! > \"$1\"", false, 0}}) {
    test::TempDir folder;
    const std::string pidFile = (folder / "child.pid").string();
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult r = RunProcess({"/bin/sh", "-c", row.script, "sh", pidFile}, nullptr, ProcessLimits{1, {}});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    EXPECT_EQ(r.timedOut, row.timedOut) << row.script;
    EXPECT_EQ(r.exitStatus, row.exitStatus) << row.script;
    int pid = 0;
    std::ifstream(pidFile) >> pid;
    ASSERT_GT(pid, 0) << row.script;
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (test::ProcessAlive(pid) && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(test::ProcessAlive(pid)) << "what the program started outlived it: " << row.script;
  }
}

TEST(JsonEscape, EveryTextComesOutAsUtf8AndKeepsItsBytes) {
  struct Row {
    std::string text, json;
  };
  const Row rows[] = {
      {"caf\xc3\xa9", "\"caf\xc3\xa9\""},              // UTF-8 as it is
      {"caf\xe9", "\"caf\\udce9\""},                    // a Latin-1 byte
      {"\xc0\xaf", "\"\\udcc0\\udcaf\""},               // an overlong '/'
      {"\xed\xa0\x80", "\"\\udced\\udca0\\udc80\""},    // an encoded surrogate
      {"\xe2\x82", "\"\\udce2\\udc82\""},               // a sequence cut short
      {"\xf0\x9f\x96\xa8", "\"\xf0\x9f\x96\xa8\""},     // four bytes (printer emoji)
      {"\xf4\x90\x80\x80", "\"\\udcf4\\udc90\\udc80\\udc80\""},  // past U+10FFFF
      {"a\"b\\c\n\x01", "\"a\\\"b\\\\c\\n\\u0001\""},
  };
  for (const Row& row : rows) EXPECT_EQ(JsonEscape(row.text), row.json) << row.text;
}

TEST(AtomicFile, ANameOfUpTo255BytesGetsItsTemporary) {
  test::TempDir dir;
  for (const std::size_t length : {5u, 200u, 231u, 250u, 255u}) {
    const std::string name = std::string(length - 4, 'n') + ".prn";
    const auto path = dir / name;
    auto file = AtomicFile::Create(path);
    ASSERT_TRUE(file) << length;
    EXPECT_LE(file.value()->tempPath().filename().string().size(), 255u);
    ASSERT_TRUE(file.value()->Commit()) << length;
    EXPECT_TRUE(std::filesystem::exists(path)) << length;
  }
  // A multi-byte character is never cut in two.
  std::string wide;
  while (wide.size() < 240) wide += "\xc3\xa9";
  const std::string prefix = TemporaryNamePrefix(dir / (wide + ".prn"));
  EXPECT_EQ(JsonEscape(prefix).find("\\udc"), std::string::npos) << prefix;
}

}  // namespace
}  // namespace qm
