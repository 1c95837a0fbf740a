// Faults injected into whole jobs of quillmark-cli: a full disk while the PRN
// file is written, the process killed in the middle of each raster mode, a
// missing, failing or slow Ghostscript, an ICC profile that is not a profile.
// After each: the failure is reported (never success), the previous PRN file
// of the same name, the presets and the initiation file are intact, and the
// next job on the same AppDir runs normally (the job lock died with the
// process).
#include <gtest/gtest.h>

#include <algorithm>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "platform/job_lock.h"
#include "platform/platform.h"
#include "tests/reliability/cli_process.h"

namespace qm::test {
namespace {

constexpr const char* kOldPrn = "an older print of the same name";

class JobFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    UseFastPreset(app);
    CreateFolder(app / "RipIn/UserPrn");
    configBefore = Snapshot(app / "Configuration");
  }
  static std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const std::string& rel : FilesBelow(folder)) files[rel] = ReadFileBytes(folder / rel);
    return files;
  }
  std::string Import(const char* sample) {
    fs::copy_file(SamplesDir() / sample, src / sample);
    const std::string item = ImportOne(app.path(), src / sample);
    WriteFileBytes(app / "RipIn/UserPrn" / (item + ".prn"), kOldPrn);
    artwork = ReadFileBytes(SamplesDir() / sample);
    return item;
  }
  void ExpectFailed(const CliResult& r, const std::string& message) {
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.signal, 0) << r.err;
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_NE(r.err.find(message + "\n"), std::string::npos) << r.err;
  }
  // The state after a failed or killed job of `item`.
  void ExpectNothingLost(const std::string& item) {
    EXPECT_TRUE(ReadFileBytes(app / "RipIn/UserPrn" / (item + ".prn")) == kOldPrn) << "older PRN file replaced";
    EXPECT_EQ(PrnFilesBelow(app.path()), std::vector<std::string>{"UserPrn/" + item + ".prn"});
    EXPECT_TRUE(Snapshot(app / "Configuration") == configBefore) << "Configuration changed";
    const auto files = ListFolder(app / "RipIn/CustomFiles" / item, "*", EntryKind::Files);
    ASSERT_EQ(files.size(), 1u) << "the artwork left its item folder";
    EXPECT_TRUE(ReadFileBytes(app / "RipIn/CustomFiles" / item / files[0]) == artwork) << "the artwork changed";
  }
  // The next job on the same AppDir prints `item` and replaces the old file
  // by a sound one.
  void ExpectNextJobRuns(const std::string& item) {
    const CliResult r = RunCli(app.path(), {"print", item});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    // Nothing but the warnings for the spots the Default preset places nowhere.
    for (std::size_t at = 0; at < r.err.size(); at = r.err.find('\n', at) + 1) {
      EXPECT_EQ(r.err.compare(at, 9, "Warning: "), 0) << r.err;
    }
    const fs::path prn = app / "RipIn/UserPrn" / (item + ".prn");
    EXPECT_FALSE(ReadFileBytes(prn) == kOldPrn);
    const CliResult info = RunCli(app.path(), {"prn-info", prn.string()});
    EXPECT_EQ(info.exitStatus, 0) << info.err;
    EXPECT_NE(info.out.find("\"sizeOk\": true"), std::string::npos) << info.out;
  }
  void ReplaceGhostscript(const std::string& script) {
    fs::remove(app / "bin/gs");
    WriteFileBytes(app / "bin/gs", "#!/bin/sh\n" + script + "\n");
    fs::permissions(app / "bin/gs", fs::perms::owner_all);
  }
  void RestoreGhostscript() {
    fs::remove(app / "bin/gs");
    fs::create_symlink("/usr/bin/gs", app / "bin/gs");
  }

  ScratchAppDir app;
  TempDir src;
  std::map<std::string, std::string> configBefore;
  std::string artwork;  // the bytes imported
};

// 72 dpi print of the TIFF sample to learn its PRN size, then the same print
// with every file of the process limited to half of it.
TEST_F(JobFaults, FullDiskWhileThePrnFileIsWritten) {
  const std::string item = Import("tcl_logo_cmyk_2extra.tif");
  ExpectNextJobRuns(item);
  const auto size = static_cast<long>(fs::file_size(app / "RipIn/UserPrn" / (item + ".prn")));
  WriteFileBytes(app / "RipIn/UserPrn" / (item + ".prn"), kOldPrn);
  const CliResult r = RunCli(app.path(), {"--verbose", "print", item}, std::chrono::seconds(120), size / 2);
  ExpectFailed(r, "Fail to Print !");
  ExpectNothingLost(item);
  EXPECT_TRUE(ListFolder(app / "RipIn/UserPrn", ".*", EntryKind::Files).empty()) << "temporary file left";
  ExpectNextJobRuns(item);
}

// Kills the print once its PRN file is being written (the temporary file
// exists), in each raster mode; at 720 dpi the raster work takes long enough.
// SIGKILL leaves the temporary file, which the next job removes; SIGINT and
// SIGTERM remove it before the program exits with 128 + the signal.
struct Kill {
  const char* mode;
  int signal;
  bool preserved = true;  // "Preserved" off: the job would take the artwork out of its folder
};

class KilledJob : public JobFaults, public ::testing::WithParamInterface<Kill> {};

TEST_P(KilledJob, KilledWhileWritingLosesNothing) {
  SetConfigValue(app / "Configuration/Default.cfg", "xResolution", "720");
  SetConfigValue(app / "Configuration/Default.cfg", "yResolution", "720");
  configBefore = Snapshot(app / "Configuration");
  const std::string item = Import("tcl_logo_cmyk_2extra.tif");
  const std::string mode = GetParam().mode;
  std::vector<std::string> args;
  if (mode == "turbo") args = {"--set", "dfTurboMd=1"};
  if (mode == "large-image") args = {"--set", "dfLargeImageMd=1"};
  if (!GetParam().preserved) args.insert(args.end(), {"--set", "dfPreserveCF=0"});
  args.insert(args.end(), {"print", item});
  auto temporaries = [&] { return ListFolder(app / "RipIn/UserPrn", ".*.tmp", EntryKind::Files); };
  {
    CliChild child(app.path(), args);
    const bool writing = child.WaitUntil([&] { return !temporaries().empty(); }, std::chrono::seconds(60));
    ASSERT_TRUE(writing) << "the job ended before its PRN file was written: " << child.Wait().err;
    child.Kill(GetParam().signal);
    const CliResult r = child.Wait();
    if (GetParam().signal == SIGKILL) {
      EXPECT_EQ(r.signal, SIGKILL);
    } else {
      EXPECT_EQ(r.signal, 0);
      EXPECT_EQ(r.exitStatus, 128 + GetParam().signal);
      EXPECT_TRUE(temporaries().empty()) << temporaries().front();
    }
  }
  ExpectNothingLost(item);
  ExpectNextJobRuns(item);
  EXPECT_TRUE(temporaries().empty()) << "left by the killed job: " << temporaries().front();
}

INSTANTIATE_TEST_SUITE_P(RasterModes, KilledJob,
                         ::testing::Values(Kill{"sequential", SIGKILL}, Kill{"turbo", SIGKILL},
                                           Kill{"large-image", SIGKILL}, Kill{"sequential", SIGINT},
                                           Kill{"large-image", SIGTERM}, Kill{"turbo", SIGKILL, false}),
                         [](const auto& info) {
                           std::string name = info.param.mode;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name + "_" + std::to_string(info.param.signal) +
                                  (info.param.preserved ? "" : "_not_preserved");
                         });

// Planes that cannot be filed (a file stands where the item's Separation
// folder should be) fail the Separate job, and the artwork stays in its item
// folder also without "Preserved": the planes in the Working folder are no
// copy of it that lasts.
TEST_F(JobFaults, PlanesThatCannotBeFiledKeepTheArtwork) {
  const std::string item = Import("tcl_logo_cmyk_2extra.tif");
  WriteFileBytes(app / "RipIn/Separation" / item, "a file, not a folder");
  const CliResult r = RunCli(app.path(), {"--set", "dfPreserveCF=0", "separate", item});
  ExpectFailed(r, "Fail to Separate !");
  EXPECT_NE(r.err.find("for the planes"), std::string::npos) << r.err;
  ExpectNothingLost(item);
}

// One job at a time: a job that finds the AppDir's lock held is refused at
// once, naming the holder; with --wait both jobs of a script run, one after
// the other. Bad values of --wait are bad usage. The job that takes the lock
// gives the files a killed hot-folder tick left in its batch folder back to
// their hot folder.
TEST_F(JobFaults, JobsWaitTheirTurnWithWait) {
  const std::string item = Import("tcl_logo_cmyk_2extra.tif");
  for (const char* bad : {"-1", "ten", "1e3", "1.", ""}) {
    EXPECT_EQ(RunCli(app.path(), {"--wait", bad, "print", item}).exitStatus, 2) << bad;
  }
  SetAppDirOverride(app.path());
  auto held = std::make_unique<JobLock>();
  ASSERT_TRUE(held->Held());
  const fs::path batch = app / "RipIn/CustomFiles" / BatchFolderName("AHotFolder");
  WriteFileBytes(batch / "dropped.jpg", "dropped");  // as a tick killed now would leave it
  const CliResult refused = RunCli(app.path(), {"print", item});
  ExpectFailed(refused, "Another job is using the working folder!");
  EXPECT_NE(refused.err.find("process " + std::to_string(::getpid())), std::string::npos) << refused.err;
  CliChild first(app.path(), {"--wait", "120", "print", item});
  CliChild second(app.path(), {"--wait", "120", "print", item});
  EXPECT_TRUE(fs::exists(batch / "dropped.jpg")) << "taken back while the lock was held";
  held.reset();
  for (CliChild* child : {&first, &second}) {
    const CliResult r = child->Wait();
    EXPECT_EQ(r.exitStatus, 0) << r.err;
  }
  EXPECT_EQ(ReadFileBytes(app / "RipIn/CustomFiles/AHotFolder/dropped.jpg"), "dropped");
  EXPECT_FALSE(fs::exists(batch));
}

TEST_F(JobFaults, MissingGhostscriptFailsPdfJobs) {
  const std::string item = Import("tcl_logo.pdf");
  fs::remove(app / "bin/gs");
  ExpectFailed(RunCli(app.path(), {"print", item}), "Fail to Print !");
  ExpectFailed(RunCli(app.path(), {"separate", item}), "Fail to Separate !");
  ExpectNothingLost(item);
  RestoreGhostscript();
  ExpectNextJobRuns(item);
}

TEST_F(JobFaults, FailingGhostscriptFailsPdfJobs) {
  const std::string item = Import("tcl_logo.pdf");
  ReplaceGhostscript("echo 'Error: /undefined in --run--' >&2; exit 1");
  ExpectFailed(RunCli(app.path(), {"print", item}), "Fail to Print !");
  ExpectFailed(RunCli(app.path(), {"separate", item}), "Fail to Separate !");
  ExpectNothingLost(item);
  RestoreGhostscript();
  ExpectNextJobRuns(item);
}

// A tool that takes its time is waited for, however long, then judged.
TEST_F(JobFaults, SlowFailingGhostscriptIsWaitedFor) {
  const std::string item = Import("tcl_logo.pdf");
  ReplaceGhostscript("sleep 2; exit 1");
  const CliResult r = RunCli(app.path(), {"print", item});
  ExpectFailed(r, "Fail to Print !");
  EXPECT_GE(r.elapsed.count(), 2.0);
  ExpectNothingLost(item);
  RestoreGhostscript();
  ExpectNextJobRuns(item);
}

// The preset's CMYK and output profiles replaced by bytes that are no ICC
// profile: Ghostscript (PDF) and our magick (TIFF) both refuse them.
class NotAProfile : public JobFaults, public ::testing::WithParamInterface<const char*> {};

TEST_P(NotAProfile, JobFailsAndTheNextRunsWithAGoodProfile) {
  const std::string item = Import(GetParam());
  const fs::path profile = app / "Configuration/Default/CMYK/default_cmyk.icc";
  const std::string good = ReadFileBytes(profile);
  WriteFileBytes(profile, "this is not an ICC profile, only text in a file named .icc\n");
  for (const char* folder : {"Output"}) {
    const fs::path p = app / "Configuration/Default" / folder / "default_cmyk.icc";
    if (fs::exists(p)) WriteFileBytes(p, ReadFileBytes(profile));
  }
  configBefore = Snapshot(app / "Configuration");
  ExpectFailed(RunCli(app.path(), {"print", item}), "Fail to Print !");
  ExpectFailed(RunCli(app.path(), {"separate", item}), "Fail to Separate !");
  ExpectNothingLost(item);
  for (const char* folder : {"CMYK", "Output"}) {
    const fs::path p = app / "Configuration/Default" / folder / "default_cmyk.icc";
    if (fs::exists(p)) WriteFileBytes(p, good);
  }
  ExpectNextJobRuns(item);
}

INSTANTIATE_TEST_SUITE_P(Routes, NotAProfile, ::testing::Values("tcl_logo.pdf", "tcl_logo_cmyk_2extra.tif"),
                         [](const auto& info) { return std::string(info.param).find(".pdf") != std::string::npos
                                                    ? std::string("pdf") : std::string("tiff"); });

}  // namespace
}  // namespace qm::test
