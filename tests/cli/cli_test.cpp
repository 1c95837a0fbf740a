// Drives the quillmark-cli program as a user or a script would: one row per
// command line on a scratch AppDir, with its exit status and what it writes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "tests/support/test_support.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using Setup = std::function<void(const test::ScratchAppDir&)>;

std::string Cli() { return (test::BuiltAppDir() / "quillmark-cli").string(); }

// Runs `command` (a shell line; '@' is the AppDir) with standard output and
// error to files.
int RunShell(const std::string& command, std::string& out, std::string& err) {
  test::TempDir tmp;
  const int raw = std::system((command + " >" + (tmp / "out").string() + " 2>" + (tmp / "err").string() + " </dev/null").c_str());
  out = test::ReadFileBytes(tmp / "out");
  err = test::ReadFileBytes(tmp / "err");
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// A text matches "" always, "=X" when it is X, "^X" when it starts with X,
// else when it contains the pattern.
bool Matches(const std::string& text, const std::string& pattern) {
  if (pattern.empty()) return true;
  if (pattern[0] == '=') return text == pattern.substr(1);
  if (pattern[0] == '^') return text.rfind(pattern.substr(1), 0) == 0;
  return text.find(pattern) != std::string::npos;
}

Setup Append(const char* file, const char* line) {
  return [=](const test::ScratchAppDir& app) {
    test::WriteFileBytes(app / file, test::ReadFileBytes(app / file) + "\r\n" + line);
  };
}

Setup Underbase(const char* text) {
  return [=](const test::ScratchAppDir& app) {
    test::WriteFileBytes(app / "Configuration/Default/underbase.txt", text);
  };
}

// A 1 x 1 PRN file of the Default preset's six positions (4 and 5 print L0 and L1).
void SmallPrn(const test::ScratchAppDir& app) {
  std::string prn(48 + 6 * 4, '\0');
  const uint32_t header[] = {0x5555, 720, 720, 4, 1, 1, 0, 6};
  std::memcpy(prn.data(), header, sizeof header);  // little-endian host
  prn[32] = 1;
  prn[48 + 5 * 4] = '\x80';
  test::WriteFileBytes(app / "x.prn", prn);
}

void LogoItem(const test::ScratchAppDir& app) {
  fs::create_directories(app / "RipIn/CustomFiles/logo");
  fs::copy_file(test::SamplesDir() / "tcl_logo_cmyk_2extra.tif", app / "RipIn/CustomFiles/logo/logo.tif");
}

struct CliCase {
  std::string args;  // after "quillmark-cli --app-dir @"; a leading '!' runs them without --app-dir
  int status;
  std::string out, err;  // patterns (Matches), '@' put for the AppDir
  Setup setup = nullptr;
};

const std::string kPreview = " prn-preview @/x.prn @/x.png --ink ";
const CliCase kCases[] = {
    {"apply", 0, "^{\"settingApplied\": 1, \"xResolution\": \"720\", \"xResolutionValue\": 720", "="},
    {"apply", 0, "\"linearIn\": [[0, 16383.75, 32767.5, 49151.25, 65535], ", "="},
    {"!QUILLMARK_APPDIR=@ " + Cli() + " --preset other.CFG apply", 0, "\"presetName\": \"Other\"", "",
     [](const test::ScratchAppDir& app) {
       fs::copy(app / "Configuration/Default.cfg", app / "Configuration/Other.cfg");
       fs::copy(app / "Configuration/Default", app / "Configuration/Other", fs::copy_options::recursive);
     }},
    {"apply", 0, "\"presetName\": \"Default\"", "=", Append("Configuration/initiation.ini", "dfPreset=DEFAULT.CFG\r\n")},
    // Each start-up failure prints its message, then one indented line with its cause.
    {"apply", 1, "^{\"settingApplied\": 0",
     "=Fail to open initiation.ini!\n  cannot open @/Configuration/initiation.ini: No such file or directory\n",
     [](const test::ScratchAppDir& app) { fs::remove(app / "Configuration/initiation.ini"); }},
    {"apply", 1, "^{\"settingApplied\": 0",
     "=Fail to find the right preset file!\n  no preset file named Nope.cfg in @/Configuration\n",
     Append("Configuration/initiation.ini", "dfPreset=Nope.cfg\r\n")},
    {"apply", 1, "^{\"settingApplied\": 0",
     "=Fail to Apply the Preset file!\n  MiddleDotStart 0.75 is above LargeDotStart 0.5\n",
     Append("Configuration/Default.cfg", "MiddleDotStart=0.75\r\n")},
    {"apply", 1, "^{\"settingApplied\": 0",
     "=Fail to Apply the Preset file!\n  LinearProfile: cannot open @/Configuration/Default/gone.txt: No such file or "
     "directory\n",
     Append("Configuration/Default.cfg", "LinearProfile=gone.txt\r\n")},
    {"--set dfTurboMd=yes apply", 2, "", ""},
    {"--set noSuchKey=1 apply", 2, "", ""},
    {"--set UseLc=yes apply", 2, "", ""},
    {"--set Bits=3 apply", 2, "", ""},
    {"--progress loud apply", 2, "", ""},
    {"frobnicate", 2, "", ""},
    {"help frobnicate", 2, "", ""},
    {"", 2, "", ""},
    {"--set dfTurboMd=1 --set 'dfPAPPPath=/a b' apply", 0, "", ""},
    // --set takes preset keys for one run (the file stays as it is).
    {"--set xResolution=300 --set UseLc=0 apply", 0, "\"xResolution\": \"300\", \"xResolutionValue\": 300", "="},
    {"--set UseLc=0 apply", 0, "\"UseLc\": 0", "="},
    // Underbase keys: the preset folder's underbase.txt, then --set; a bad
    // value is bad usage on the command line and fails Apply in the file.
    {"apply", 0, "\"underbase\": {\"Underbase\": \"off\", \"UnderbaseInk\": \"S0\", \"Choke\": 2, \"Density\": 100, "
     "\"UnderBlack\": 100, \"Knockout\": \"none\", \"KnockoutTolerance\": 5}", "="},
    {"--set Underbase=both --set Choke=0 --set Knockout=white apply", 0,
     "\"Underbase\": \"both\", \"UnderbaseInk\": \"S1\", \"Choke\": 0, \"Density\": 50, ", "=",
     Underbase("UnderbaseInk=S1\r\nDensity=50\r\nChoke=7\r\n")},
    {"--set Choke=-1 apply", 2, "", "Choke '-1': Choke takes a whole number of pixels from 0 to 64"},
    {"--set UnderbaseInk=White apply", 2, "", "UnderbaseInk 'White': UnderbaseInk takes a spot code S0 .. S5"},
    {"apply", 1, "^{\"settingApplied\": 0",
     "=Fail to Apply the Preset file!\n  @/Configuration/Default/underbase.txt line 2: Knockout 'all': Knockout takes "
     "none or white\n",
     Underbase("Underbase=generate\r\nKnockout=all\r\n")},
    // A mistyped AppDir is refused, by option or environment, and not made.
    {"!" + Cli() + " --app-dir @/missing lists", 2, "", "the AppDir @/missing named by "},
    {"!QUILLMARK_APPDIR=@/missing " + Cli() + " lists", 2, "", "the AppDir @/missing named by "},
    // Help never runs the command (no RipIn is made).
    {"print --help", 0, "^usage: quillmark-cli [OPTIONS] print ITEM\n", "="},
    {"help print", 0, "Exit status: ", "="},
    {"!" + Cli() + " --version", 0, "=quillmark-cli 1.0.3\n", "="},
    {"!" + Cli() + " --help", 0, "\n  apply                    start", ""},
    {"!" + Cli() + " --help", 0,
     "\n  prn-preview FILE OUT.png [--ink POSITION|INK] [--background COLOUR]\n                           a", ""},
    {"presets", 0, "={\"presets\": [\"Default.cfg\"], \"dfPreset\": \"Default.cfg\"}\n", "="},
    {"lists nosuch", 1, "=", "^Choose an item from Image List!\n  no item 'nosuch' in "},
    {"prn-info @/x.prn", 1, "=", "is not a PRN file",
     [](const test::ScratchAppDir& app) { test::WriteFileBytes(app / "x.prn", std::string(64, 'x')); }},
    // --ink by ink code.
    {kPreview + "L1", 0, "", "", SmallPrn},
    {kPreview + "S3", 1, "", "prints the ink S3 (its inks: 0 1 2 3 L0 L1)", SmallPrn},
    {kPreview + "X9", 2, "", "", SmallPrn},
    {kPreview + "L1 --background '#202020'", 0, "", "", SmallPrn},
    {kPreview + "L1 --background 2020zz", 2, "", "--background takes a colour #RRGGBB, got '2020zz'", SmallPrn},
    // The progress JSON names its bars by the main window's numbers, which
    // callers of the JSON rely on.
    {"--progress json --set xResolution=72 --set yResolution=72 print logo", 0, "=",
     "^{\"progress\": 5, \"bar\": 1041, \"stage\": \"separate\", \"status\": \"@/RipIn/CustomFiles/logo/logo.tif\"}\n",
     LogoItem},
    {"--progress json --set xResolution=72 --set yResolution=72 print logo", 0, "=",
     "\n{\"progress\": 5, \"bar\": 1043, \"stage\": \"print\", \"status\": \"@/RipIn/CustomFiles/logo/logo.tif\"}\n",
     LogoItem},
};

std::string PutAppDir(std::string text, const std::string& appDir) {
  for (std::size_t at = 0; (at = text.find('@', at)) != std::string::npos; at += appDir.size()) {
    text.replace(at, 1, appDir);
  }
  return text;
}

TEST(Cli, EachCommandLine) {
  for (const CliCase& c : kCases) {
    SCOPED_TRACE(c.args);
    test::ScratchAppDir app;
    if (c.setup) c.setup(app);
    const std::string preset = test::ReadFileBytes(app / "Configuration/Default.cfg");
    const std::string dir = app.path().string();
    const std::string command = c.args.rfind('!', 0) == 0 ? c.args.substr(1) : Cli() + " --app-dir @ " + c.args;
    std::string out, err;
    EXPECT_EQ(RunShell(PutAppDir(command, "'" + dir + "'"), out, err), c.status) << err;
    EXPECT_TRUE(Matches(out, PutAppDir(c.out, dir))) << out;
    EXPECT_TRUE(Matches(err, PutAppDir(c.err, dir))) << err;
    EXPECT_EQ(test::ReadFileBytes(app / "Configuration/Default.cfg"), preset) << "the preset file was written";
    EXPECT_FALSE(fs::exists(app / "missing"));
    if (c.args.find("help") != std::string::npos) {
      EXPECT_FALSE(fs::exists(app / "RipIn")) << "help ran the command";
    }
  }
}

}  // namespace
}  // namespace qm
