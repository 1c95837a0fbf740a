// Drives the quillmark-cli program as a user or a script would.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>

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

// Each start-up failure prints its message, then one indented line with its
// cause: a file that cannot be read, a name found nowhere, a value that
// fails validation.
TEST(CliApply, StartUpFailuresPrintTheirMessagesAndCausesAndExitOne) {
  struct Case {
    const char* file;  // below the AppDir; nullptr removes initiation.ini
    const char* bytes;
    std::string err;   // after the AppDir's path is put for @
  };
  const Case cases[] = {
      {nullptr, "", "Fail to open initiation.ini!\n  cannot open @/Configuration/initiation.ini: No such file or "
                    "directory\n"},
      {"Configuration/initiation.ini", "dfPreset=Nope.cfg\r\n",
       "Fail to find the right preset file!\n  no preset file named Nope.cfg in @/Configuration\n"},
      {"Configuration/Default.cfg", "MiddleDotStart=0.75\r\n",
       "Fail to Apply the Preset file!\n  MiddleDotStart 0.75 is above LargeDotStart 0.5\n"},
      {"Configuration/Default.cfg", "LinearProfile=gone.txt\r\n",
       "Fail to Apply the Preset file!\n  LinearProfile: cannot open @/Configuration/Default/gone.txt: No such file "
       "or directory\n"},
  };
  for (const Case& c : cases) {
    test::ScratchAppDir app;
    if (!c.file) {
      std::filesystem::remove(app / "Configuration/initiation.ini");
    } else {
      test::WriteFileBytes(app / c.file, test::ReadFileBytes(app / c.file) + "\r\n" + c.bytes);
    }
    std::string expected = c.err;
    for (std::size_t at; (at = expected.find('@')) != std::string::npos;) expected.replace(at, 1, app.path().string());
    const CliRun r = RunCli(AppArg(app) + " apply");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, expected);
    EXPECT_EQ(r.out.rfind("{\"settingApplied\": 0", 0), 0u);
  }
}

// A tool that fails: the cause names it, its exit status and its first line.
TEST(CliPrint, AFailingToolIsTheCause) {
  test::ScratchAppDir app;
  std::filesystem::remove(app / "bin/gs");
  test::WriteFileBytes(app / "bin/gs", "#!/bin/sh\necho >&2; echo 'Error: /undefined in --run--' >&2; exit 1\n");
  std::filesystem::permissions(app / "bin/gs", std::filesystem::perms::owner_all);
  test::WriteFileBytes(app / "in/x.pdf", "%PDF-1.4\n%%EOF\n");
  ASSERT_EQ(RunCli(AppArg(app) + " import '" + (app / "in/x.pdf").string() + "'").status, 0);
  const CliRun r = RunCli(AppArg(app) + " --progress none print x");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Fail to Print !\n  x.pdf: the separation produced none of the four process planes: "
                   "gs exited with status 1: Error: /undefined in --run--\n");
}

TEST(CliUsage, BadUsageExitsTwo) {
  test::ScratchAppDir app;
  EXPECT_EQ(RunCli(AppArg(app) + " --set dfTurboMd=yes apply").status, 2);
  EXPECT_EQ(RunCli(AppArg(app) + " --set noSuchKey=1 apply").status, 2);
  EXPECT_EQ(RunCli(AppArg(app) + " --set UseLc=yes apply").status, 2);
  EXPECT_EQ(RunCli(AppArg(app) + " --set Bits=3 apply").status, 2);
  EXPECT_EQ(RunCli(AppArg(app) + " --progress loud apply").status, 2);
  EXPECT_EQ(RunCli(AppArg(app) + " frobnicate").status, 2);
  EXPECT_EQ(RunCli(AppArg(app) + " help frobnicate").status, 2);
  EXPECT_EQ(RunCli(AppArg(app)).status, 2);
  EXPECT_EQ(RunCli(AppArg(app) + " --set dfTurboMd=1 --set 'dfPAPPPath=/a b' apply").status, 0);
  // A mistyped AppDir is refused, by option or environment, and not made.
  const std::string missing = (app / "missing").string();
  for (const std::string& named : {"--app-dir '" + missing + "' lists", "lists 2>&2; QUILLMARK_APPDIR='" + missing +
                                       "' " + (test::BuiltAppDir() / "quillmark-cli").string() + " lists"}) {
    const CliRun r = RunCli(named);
    EXPECT_EQ(r.status, 2) << named;
    EXPECT_NE(r.err.find("the AppDir " + missing + " named by "), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(missing));
  }
}

// Help never runs the command; --set takes preset keys for one run; lists
// of an unknown item and prn-info of a file that is no PRN file print no JSON.
TEST(CliUsage, HelpVersionPresetKeysAndRefusals) {
  test::ScratchAppDir app;
  const CliRun help = RunCli(AppArg(app) + " print --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: quillmark-cli [OPTIONS] print ITEM\n", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("Exit status: "), std::string::npos);
  EXPECT_EQ(RunCli(AppArg(app) + " help print").out, help.out);
  EXPECT_FALSE(std::filesystem::exists(app / "RipIn")) << "help ran the command";
  EXPECT_EQ(RunCli("--version").out, "quillmark-cli 1.0.3\n");
  const CliRun all = RunCli("--help");
  for (const char* line : {"\n  apply                    start", "\n  print ITEM               print",
                           "\n  prn-preview FILE OUT.png [--ink POSITION|INK]\n                           a"}) {
    EXPECT_NE(all.out.find(line), std::string::npos) << line << "\n" << all.out;
  }

  const std::string cfg = test::ReadFileBytes(app / "Configuration/Default.cfg");
  const CliRun set = RunCli(AppArg(app) + " --set xResolution=300 --set UseLc=0 apply");
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_NE(set.out.find("\"xResolution\": \"300\", \"xResolutionValue\": 300"), std::string::npos);
  EXPECT_NE(set.out.find("\"UseLc\": 0"), std::string::npos);
  EXPECT_EQ(test::ReadFileBytes(app / "Configuration/Default.cfg"), cfg) << "the preset file was written";
  EXPECT_EQ(RunCli(AppArg(app) + " presets").out, "{\"presets\": [\"Default.cfg\"], \"dfPreset\": \"Default.cfg\"}\n");

  const CliRun lists = RunCli(AppArg(app) + " lists nosuch");
  EXPECT_EQ(lists.status, 1);
  EXPECT_EQ(lists.out, "");
  EXPECT_EQ(lists.err.rfind("Choose an item from Image List!\n  no item 'nosuch' in ", 0), 0u) << lists.err;
  test::WriteFileBytes(app / "x.prn", std::string(64, 'x'));
  const CliRun info = RunCli(AppArg(app) + " prn-info '" + (app / "x.prn").string() + "'");
  EXPECT_EQ(info.status, 1);
  EXPECT_EQ(info.out, "");
  EXPECT_NE(info.err.find("is not a PRN file"), std::string::npos) << info.err;
}

// --ink by ink code: a 1 x 1, 6-position file of the Default preset
// (positions 4 and 5 print L0 and L1).
TEST(CliUsage, PreviewOfOneInkByItsCode) {
  test::ScratchAppDir app;
  std::string prn(48 + 6 * 4, '\0');
  const uint32_t header[] = {0x5555, 720, 720, 4, 1, 1, 0, 6};
  std::memcpy(prn.data(), header, sizeof header);  // little-endian host
  prn[32] = 1;
  prn[48 + 5 * 4] = '\x80';
  test::WriteFileBytes(app / "x.prn", prn);
  const std::string files = " '" + (app / "x.prn").string() + "' '" + (app / "x.png").string() + "'";
  EXPECT_EQ(RunCli(AppArg(app) + " prn-preview" + files + " --ink L1").status, 0);
  EXPECT_TRUE(std::filesystem::exists(app / "x.png"));
  const CliRun absent = RunCli(AppArg(app) + " prn-preview" + files + " --ink S3");
  EXPECT_EQ(absent.status, 1);
  EXPECT_NE(absent.err.find("prints the ink S3 (its inks: 0 1 2 3 L0 L1)"), std::string::npos) << absent.err;
  EXPECT_EQ(RunCli(AppArg(app) + " prn-preview" + files + " --ink X9").status, 2);
}

}  // namespace
}  // namespace qm
