// Faults a scenario row cannot stage: a full disk while the PRN file is
// written, the process killed in the middle of each raster mode, and a job
// lock held by another process. After each the previous PRN file of the same
// name, the Configuration and the artwork are intact, and the next job on
// the same AppDir runs normally.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <map>
#include <memory>

#include "platform/job_lock.h"
#include "platform/platform.h"
#include "tests/support/cli_runner.h"

namespace qm::test {
namespace {

constexpr const char* kOldPrn = "an older print of the same name";

class JobFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    UseFastPreset(app);
    configBefore = Configuration();
    fs::create_directories(art.parent_path());
    fs::copy_file(SamplesDir() / "tcl_logo_cmyk_2extra.tif", art);
    WriteFileBytes(prn, kOldPrn);
  }
  std::map<std::string, std::string> Configuration() {
    std::map<std::string, std::string> files;
    for (const std::string& rel : FilesBelow(app / "Configuration")) files[rel] = ReadFileBytes(app / "Configuration" / rel);
    return files;
  }
  std::vector<std::string> Temporaries() { return ListFolder(app / "RipIn/UserPrn", ".*", EntryKind::Files); }
  void ExpectNothingLost() {
    EXPECT_TRUE(ReadFileBytes(prn) == kOldPrn) << "older PRN file replaced";
    EXPECT_EQ(ListFolder(app / "RipIn/UserPrn", "*.pr?", EntryKind::Files), std::vector<std::string>{"logo.prn"});
    EXPECT_TRUE(Configuration() == configBefore) << "Configuration changed";
    EXPECT_TRUE(ReadFileBytes(art) == ReadFileBytes(SamplesDir() / "tcl_logo_cmyk_2extra.tif")) << "artwork lost";
  }
  // The next job prints and replaces the old file by a sound one.
  void ExpectNextJobRuns() {
    const CliResult r = RunCli(app.path(), {"print", "logo"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const CliResult info = RunCli(app.path(), {"prn-info", prn.string()});
    EXPECT_NE(info.out.find("\"sizeOk\": true"), std::string::npos) << info.out;
    EXPECT_TRUE(Temporaries().empty()) << Temporaries().front();
  }

  ScratchAppDir app;
  fs::path art = app / "RipIn/CustomFiles/logo/logo.tif", prn = app / "RipIn/UserPrn/logo.prn";
  std::map<std::string, std::string> configBefore;
};

// The print's PRN size learnt first, then the same print with every file of
// the process limited to half of it: appended rows (sequential mode) and
// rows written in place (large-image mode).
class FullDisk : public JobFaults, public ::testing::WithParamInterface<const char*> {};

TEST_P(FullDisk, WhileThePrnFileIsWritten) {
  ExpectNextJobRuns();
  const auto size = static_cast<long>(fs::file_size(prn));
  WriteFileBytes(prn, kOldPrn);
  const CliResult r = RunCli(app.path(), {"--set", GetParam(), "print", "logo"}, size / 2);
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_EQ(r.err.rfind("Fail to Print !\n  ", 0), 0u) << r.err;
  ExpectNothingLost();
  EXPECT_TRUE(Temporaries().empty()) << "temporary file left";
  ExpectNextJobRuns();
}

INSTANTIATE_TEST_SUITE_P(RasterModes, FullDisk, ::testing::Values("dfLargeImageMd=0", "dfLargeImageMd=1"));

// Killed once its PRN file is being written (the temporary file exists), in
// each raster mode, at 720 dpi so that the raster work takes a while.
// SIGKILL leaves the temporary file, which the next job removes; SIGINT and
// SIGTERM remove it before the program exits with 128 + the signal.
struct Kill {
  const char* mode;
  int signal;
  bool preserved = true;  // off: the job would take the artwork out of its folder
};

class KilledJob : public JobFaults, public ::testing::WithParamInterface<Kill> {};

TEST_P(KilledJob, KilledWhileWritingLosesNothing) {
  std::vector<std::string> args = {"--set", "xResolution=720", "--set", "yResolution=720"};
  if (GetParam().mode == std::string("turbo")) args.insert(args.end(), {"--set", "dfTurboMd=1"});
  if (GetParam().mode == std::string("large_image")) args.insert(args.end(), {"--set", "dfLargeImageMd=1"});
  if (!GetParam().preserved) args.insert(args.end(), {"--set", "dfPreserveCF=0"});
  args.insert(args.end(), {"print", "logo"});
  {
    CliChild child(app.path(), args);
    const bool writing = child.WaitUntil([&] { return !Temporaries().empty(); }, std::chrono::seconds(60));
    ASSERT_TRUE(writing) << "the job ended before its PRN file was written: " << child.Wait().err;
    child.Kill(GetParam().signal);
    const CliResult r = child.Wait();
    if (GetParam().signal == SIGKILL) {
      EXPECT_EQ(r.signal, SIGKILL);
    } else {
      EXPECT_EQ(r.exitStatus, 128 + GetParam().signal);
      EXPECT_TRUE(Temporaries().empty()) << Temporaries().front();
    }
  }
  ExpectNothingLost();
  ExpectNextJobRuns();
}

INSTANTIATE_TEST_SUITE_P(RasterModes, KilledJob,
                         ::testing::Values(Kill{"sequential", SIGKILL}, Kill{"turbo", SIGKILL},
                                           Kill{"large_image", SIGKILL}, Kill{"sequential", SIGINT},
                                           Kill{"large_image", SIGTERM}, Kill{"turbo", SIGKILL, false}),
                         [](const auto& info) {
                           return std::string(info.param.mode) + "_" + std::to_string(info.param.signal) +
                                  (info.param.preserved ? "" : "_not_preserved");
                         });

// One job at a time: a job that finds the AppDir's lock held is refused at
// once, naming the holder; with --wait both jobs of a script run, one after
// the other; bad values of --wait are bad usage. The job that takes the lock
// gives the files a killed hot-folder tick left in its batch folder back.
TEST_F(JobFaults, JobsWaitTheirTurnWithWait) {
  for (const char* bad : {"-1", "ten", "1e3", "1.", ""}) {
    EXPECT_EQ(RunCli(app.path(), {"--wait", bad, "print", "logo"}).exitStatus, 2) << bad;
  }
  SetAppDirOverride(app.path());
  auto held = std::make_unique<JobLock>();
  ASSERT_TRUE(held->Held());
  const fs::path batch = app / "RipIn/CustomFiles" / BatchFolderName("AHotFolder");
  WriteFileBytes(batch / "dropped.jpg", "dropped");
  for (const char* command : {"print", "separate"}) {
    const CliResult refused = RunCli(app.path(), {command, "logo"});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.err.rfind("Another job is using the working folder!\n  ", 0), 0u) << refused.err;
    EXPECT_NE(refused.err.find("process " + std::to_string(::getpid())), std::string::npos) << refused.err;
  }
  CliChild first(app.path(), {"--wait", "120", "print", "logo"});
  CliChild second(app.path(), {"--wait", "120", "print", "logo"});
  EXPECT_TRUE(fs::exists(batch / "dropped.jpg")) << "taken back while the lock was held";
  held.reset();
  for (CliChild* child : {&first, &second}) EXPECT_EQ(child->Wait().exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(app / "RipIn/CustomFiles/AHotFolder/dropped.jpg"), "dropped");
  EXPECT_FALSE(fs::exists(batch));
}

}  // namespace
}  // namespace qm::test
