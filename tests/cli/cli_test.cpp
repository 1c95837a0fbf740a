// Drives the quillmark-cli program as a user or a script would.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "tests/support/test_support.h"

namespace qm {
namespace {

struct CliRun {
  int status = -1;
  std::string out, err;
};

// Runs the program with `args` (already quoted for the shell).
CliRun RunCli(const std::string& args) {
  test::TempDir tmp;
  const std::string cmd = (test::BuiltAppDir() / "quillmark-cli").string() + " " + args + " >" +
                          (tmp / "out").string() + " 2>" + (tmp / "err").string() + " </dev/null";
  CliRun r;
  const int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = test::ReadFileBytes(tmp / "out");
  r.err = test::ReadFileBytes(tmp / "err");
  return r;
}

std::string AppArg(const test::ScratchAppDir& app) { return "--app-dir '" + app.path().string() + "'"; }

TEST(CliApply, PrintsTheActiveSettingAndExitsZero) {
  test::ScratchAppDir app;
  const CliRun r = RunCli(AppArg(app) + " apply");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;
  EXPECT_EQ(r.out.rfind("{\"settingApplied\": 1, \"xResolution\": \"720\", \"xResolutionValue\": 720", 0), 0u);
  EXPECT_NE(r.out.find("\"MiddleDotDilution\": 1.0"), std::string::npos);
  EXPECT_NE(r.out.find("\"linearIn\": [[0, 16383.75, 32767.5, 49151.25, 65535], "), std::string::npos);
}

TEST(CliApply, AppDirFromTheEnvironmentAndPresetOption) {
  test::ScratchAppDir app;
  std::filesystem::copy(app / "Configuration/Default.cfg", app / "Configuration/Other.cfg");
  std::filesystem::copy(app / "Configuration/Default", app / "Configuration/Other",
                        std::filesystem::copy_options::recursive);
  const CliRun r = RunCli("--preset other.CFG apply 2>&1; true; QUILLMARK_APPDIR='" + app.path().string() +
                       "' " + (test::BuiltAppDir() / "quillmark-cli").string() + " --preset other.CFG apply");
  EXPECT_NE(r.out.find("\"presetName\": \"Other\""), std::string::npos) << r.out << r.err;
}

TEST(CliApply, StartUpFailuresPrintTheirMessagesAndExitOne) {
  test::ScratchAppDir app;
  std::filesystem::remove(app / "Configuration/initiation.ini");
  CliRun r = RunCli(AppArg(app) + " apply");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Fail to open initiation.ini!\n");
  EXPECT_EQ(r.out.rfind("{\"settingApplied\": 0", 0), 0u);

  test::WriteFileBytes(app / "Configuration/initiation.ini", "dfPreset=Default.cfg\r\n");
  test::WriteFileBytes(app / "Configuration/Default.cfg", "PRNSequence=\r\n");
  r = RunCli(AppArg(app) + " apply");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Fail to Apply the Preset file!\n");
}

TEST(CliUsage, BadUsageExitsTwo) {
  test::ScratchAppDir app;
  EXPECT_EQ(RunCli(AppArg(app) + " --set dfTurboMd=yes apply").status, 2);
  EXPECT_EQ(RunCli(AppArg(app) + " --set noSuchKey=1 apply").status, 2);
  EXPECT_EQ(RunCli(AppArg(app) + " --progress loud apply").status, 2);
  EXPECT_EQ(RunCli(AppArg(app) + " frobnicate").status, 2);
  EXPECT_EQ(RunCli(AppArg(app)).status, 2);
  EXPECT_EQ(RunCli(AppArg(app) + " --set dfTurboMd=1 --set 'dfPAPPPath=/a b' apply").status, 0);
}

}  // namespace
}  // namespace qm
