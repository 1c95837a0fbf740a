// Artwork as an adversary sends it, through quillmark-cli on a scratch
// AppDir: a page that never ends, a job killed while Ghostscript runs,
// PostScript that reaches for files outside its job, a job too large for the
// disk, names and contents that lie. Each row says what must hold afterwards;
// every wait is bounded.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/platform.h"
#include "tests/support/cli_runner.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;

// A PostScript page that loops for ever, saved as a PDF (Ghostscript reads
// both, so it reaches the interpreter as a customer's file would).
constexpr const char* kLoopingPage = "%!PS\n{ 1 pop } loop\nshowpage\n%%EOF\n";

// The process ids whose command line names `text` (a scratch AppDir's path).
std::vector<int> ProcessesNaming(const std::string& text) {
  std::vector<int> pids;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    // A process that ends while it is read fails the read (ESRCH): it is gone.
    std::string cmdline;
    try {
      std::ifstream in(entry.path() / "cmdline", std::ios::binary);
      cmdline.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
      continue;
    }
    if (cmdline.find(text) != std::string::npos && std::stoi(name) != ::getpid()) pids.push_back(std::stoi(name));
  }
  return pids;
}

// Waits up to 10 s for every process naming `text` to end (a killed
// process needs a moment to be reaped by its new parent).
bool NoProcessNaming(const std::string& text) {
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (!ProcessesNaming(text).empty()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

class Hostile : public ::testing::Test {
 protected:
  void SetUp() override { UseFastPreset(app); }
  fs::path Item(const std::string& item, const std::string& name, const std::string& bytes) {
    const fs::path file = app / ("RipIn/CustomFiles/" + item + "/" + name);
    fs::create_directories(file.parent_path());
    WriteFileBytes(file, bytes);
    return file;
  }
  fs::path ItemCopy(const std::string& item, const std::string& name, const std::string& sample) {
    return Item(item, name, ReadFileBytes(SamplesDir() / sample));
  }
  std::vector<std::string> WorkingTemporaries() {
    return ListFolder(app / "RipIn/Working", ".qm*", EntryKind::Any);
  }
  // The next job on the AppDir prints a good file.
  void ExpectNextJobPrints() {
    ItemCopy("good", "good.tif", "tcl_logo_cmyk_2extra.tif");
    const CliResult r = RunCli(app.path(), {"print", "good"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const CliResult info = RunCli(app.path(), {"prn-info", (app / "RipIn/UserPrn/good.prn").string()});
    EXPECT_NE(info.out.find("\"sizeOk\": true"), std::string::npos) << info.out << info.err;
  }
  ScratchAppDir app;
};

// ---- A time limit for every tool ------------------------------------------------

struct LimitRow {
  const char* name;
  const char* command;  // print or separate
  const char* message;  // the job's failure message
  const char* cause;    // what the cause names
  bool slowMagick;      // our magick replaced by a script that never ends
};

class TimeLimit : public Hostile, public ::testing::WithParamInterface<LimitRow> {};

TEST_P(TimeLimit, ATooLongToolIsKilledWithWhatItStartedAndTheArtworkStays) {
  const LimitRow& row = GetParam();
  fs::path art;
  const fs::path childPid = app / "magick-child.pid";
  if (row.slowMagick) {
    // The script starts a child of its own, which must end with it.
    fs::remove(app / "magick");
    WriteFileBytes(app / "magick", "#!/bin/sh\nsleep 300 &\necho $! > '" + childPid.string() + "'\nsleep 300\n");
    fs::permissions(app / "magick", fs::perms::owner_all);
    SetConfigValue(app / "Configuration/Default.cfg", "UseICC", "1");
    art = ItemCopy("art", "logo.tif", "tcl_logo_cmyk_2extra.tif");
  } else {
    art = Item("art", "loop.pdf", kLoopingPage);
  }
  const std::string artBytes = ReadFileBytes(art);
  const auto start = std::chrono::steady_clock::now();
  const CliResult r = RunCli(app.path(), {"--set", "ToolTimeLimit=2", row.command, "art"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, 60s) << "the limit did not end the job";
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_EQ(r.err.rfind(std::string(row.message) + "\n  ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(row.cause), std::string::npos) << r.err;
  EXPECT_EQ(ReadFileBytes(art), artBytes) << "the artwork left its item folder";
  EXPECT_TRUE(NoProcessNaming(app.path().string())) << "a tool of the job outlived it";
  if (row.slowMagick) {
    int pid = 0;
    std::ifstream(childPid) >> pid;
    EXPECT_GT(pid, 0);
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (ProcessAlive(pid) && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(ProcessAlive(pid)) << "the tool's own child outlived it";
  }
  EXPECT_TRUE(WorkingTemporaries().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tools, TimeLimit,
    ::testing::Values(
        LimitRow{"print_looping_page", "print", "Fail to Print !", "gs ran past the time limit of 2 s (", false},
        LimitRow{"separate_looping_page", "separate", "Fail to Separate !", "gs ran past the time limit of 2 s (",
                 false},
        LimitRow{"print_endless_magick", "print", "Fail to Print !",
                 "magick ran past the time limit of 2 s (the ICC conversion)", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Hostile, TheTimeLimitComesFromLimitsTxtAndBadValuesAreUsage) {
  Item("art", "loop.pdf", kLoopingPage);
  WriteFileBytes(app / "Configuration/limits.txt", "ToolTimeLimit=1\r\n");
  const CliResult r = RunCli(app.path(), {"print", "art"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("gs ran past the time limit of 1 s"), std::string::npos) << r.err;
  // --set wins over the file for one run.
  const CliResult set = RunCli(app.path(), {"--set", "ToolTimeLimit=2", "print", "art"});
  EXPECT_NE(set.err.find("gs ran past the time limit of 2 s"), std::string::npos) << set.err;
  for (const char* bad : {"-1", "ten", "1.5", "", "9999999"}) {
    EXPECT_EQ(RunCli(app.path(), {"--set", std::string("ToolTimeLimit=") + bad, "print", "art"}).exitStatus, 2) << bad;
  }
  // A bad value in the file keeps the default and says so.
  WriteFileBytes(app / "Configuration/limits.txt", "ToolTimeLimit=soon\r\n");
  ItemCopy("good", "good.tif", "tcl_logo_cmyk_2extra.tif");
  const CliResult warned = RunCli(app.path(), {"print", "good"});
  EXPECT_EQ(warned.exitStatus, 0) << warned.err;
  EXPECT_NE(warned.err.find("Warning: " + (app / "Configuration/limits.txt").string() +
                            ": ToolTimeLimit takes a whole number of seconds"),
            std::string::npos)
      << warned.err;
}

// ---- No Ghostscript outlives its job ---------------------------------------------

class KilledWhileGsRuns : public Hostile, public ::testing::WithParamInterface<int> {};

TEST_P(KilledWhileGsRuns, ItsGhostscriptEndsAndTheNextJobIsRight) {
  Item("art", "loop.pdf", kLoopingPage);
  {
    CliChild child(app.path(), {"--set", "ToolTimeLimit=0", "print", "art"});
    const bool running = child.WaitUntil(
        [&] {
          for (int pid : ProcessesNaming(app.path().string() + "/bin/gs")) {
            if (pid > 0) return true;
          }
          return false;
        },
        60s);
    ASSERT_TRUE(running) << child.Wait().err;
    child.Kill(GetParam());
    const CliResult r = child.Wait(30s);
    if (GetParam() == SIGKILL) EXPECT_EQ(r.signal, SIGKILL);
    else EXPECT_EQ(r.exitStatus, 128 + GetParam()) << r.err;
  }
  EXPECT_TRUE(NoProcessNaming(app.path().string())) << "Ghostscript outlived its job";
  if (GetParam() != SIGKILL) {
    const std::vector<std::string> left = WorkingTemporaries();
    EXPECT_TRUE(left.empty()) << left.front();
  }
  ExpectNextJobPrints();
  EXPECT_TRUE(WorkingTemporaries().empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, KilledWhileGsRuns, ::testing::Values(SIGTERM, SIGINT, SIGKILL),
                         [](const auto& info) { return std::string(strsignal(info.param)).substr(0, 4) + std::to_string(info.param); });

// ---- PostScript stays inside its job ---------------------------------------------

// Reads, writes, deletes and renames in the folder the job was started with
// as its temporary folder; prints what it got, then fails so that its output
// reaches the log.
std::string Reacher(const fs::path& outside) {
  const std::string o = outside.string();
  return "%!PS\n"
         "{ (" + o + "/secret.txt) (r) file 100 string readstring pop (LEAKED:) print print (\\n) print }"
         " stopped { (read-denied) = } if\n"
         "{ (" + o + "/new.txt) (w) file dup (written) writestring closefile } stopped { (write-denied) = } if\n"
         "{ (" + o + "/victim.prn) deletefile } stopped { (delete-denied) = } if\n"
         "{ (" + o + "/other.tif) (" + o + "/moved.tif) renamefile } stopped { (rename-denied) = } if\n"
         "flush qm_no_such_operator\n%%EOF\n";
}

TEST_F(Hostile, PostScriptReachesNothingOutsideItsJob) {
  TempDir outside;
  WriteFileBytes(outside / "secret.txt", "the secret");
  WriteFileBytes(outside / "victim.prn", "another AppDir's print");
  WriteFileBytes(outside / "other.tif", "another item's artwork");
  Item("art", "reach.pdf", Reacher(outside.path()));
  // The folder a tool would take as its temporary folder without a private one.
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  ::setenv("TMPDIR", outside.path().c_str(), 1);
  const CliResult r = RunCli(app.path(), {"--verbose", "print", "art"});
  if (old) ::setenv("TMPDIR", saved.c_str(), 1);
  else ::unsetenv("TMPDIR");
  EXPECT_NE(r.err.find("read-denied"), std::string::npos) << "the artwork did not run: " << r.err;
  EXPECT_EQ(r.err.find("LEAKED"), std::string::npos) << r.err;
  for (const char* denied : {"write-denied", "delete-denied", "rename-denied"}) {
    EXPECT_NE(r.err.find(denied), std::string::npos) << denied << "\n" << r.err;
  }
  EXPECT_EQ(FilesBelow(outside.path()), (std::vector<std::string>{"other.tif", "secret.txt", "victim.prn"}));
  EXPECT_EQ(ReadFileBytes(outside / "victim.prn"), "another AppDir's print");
  // Every Ghostscript of the job says so in the log.
  EXPECT_NE(r.err.find("contained: -dSAFER, temporary folder " + (app / "RipIn/Working/.qmtmp").string()),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(WorkingTemporaries().empty());
}

// ---- Jobs that cannot fit are refused at once ----------------------------------------

TEST_F(Hostile, AJobTheDiskCannotHoldIsRefusedBeforeAnyRasterWork) {
  // 100 x 100 pixels that say 0.001 dpi: 100000 inches square, a PRN file
  // of petabytes.
  const fs::path art = Item("huge", "huge.tif", "");
  ASSERT_EQ(std::system(("convert -size 100x100 xc:white -colorspace CMYK -density 0.001 -units PixelsPerInch '" +
                         art.string() + "'").c_str()),
            0);
  const auto start = std::chrono::steady_clock::now();
  const CliResult r = RunCli(app.path(), {"print", "huge"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.err.rfind("Fail to Print !\n  huge.tif: needs ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(" GB on " + (app / "RipIn/UserPrn").string() + ", "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" free"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(art));
  EXPECT_TRUE(ListFolder(app / "RipIn/Working", "*", EntryKind::Files).empty());
  EXPECT_TRUE(ListFolder(app / "RipIn/UserPrn", "*", EntryKind::Any).empty());
}

// ---- Names, contents and links -----------------------------------------------

struct WrongContent {
  const char* name;
  const char* sample;
  const char* says;
};

class ContentNotItsExtension : public Hostile, public ::testing::WithParamInterface<WrongContent> {};

TEST_P(ContentNotItsExtension, TheFailureSaysWhatTheFileIs) {
  ItemCopy("art", GetParam().name, GetParam().sample);
  const CliResult r = RunCli(app.path(), {"print", "art"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.err.rfind(std::string("Fail to Print !\n  ") + GetParam().name + ": " + GetParam().says + "\n", 0), 0u)
      << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ContentNotItsExtension,
    ::testing::Values(WrongContent{"photo.pdf", "flowers_rgb.jpg", "photo.pdf is a JPEG image, not a PDF"},
                      WrongContent{"scan.jpg", "tcl_logo_cmyk_300dpi.tif", "scan.jpg is a TIFF image, not a JPEG image"},
                      WrongContent{"page.tif", "tcl_logo.pdf", "page.tif is a PDF, not a TIFF image"}),
    [](const auto& info) { return StemOf(info.param.name); });

TEST_F(Hostile, AStemOf250BytesPrints) {
  const std::string stem(250, 'n');
  ItemCopy("long", stem + ".tif", "tcl_logo_cmyk_2extra.tif");
  const CliResult r = RunCli(app.path(), {"print", "long"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_TRUE(fs::exists(app / "RipIn/UserPrn" / (stem + ".prn")));
}

// Whether `text` is well-formed UTF-8.
bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (int k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

TEST_F(Hostile, ALatin1NameComesOutAsValidUtf8ThatKeepsItsBytes) {
  TempDir in;
  const fs::path latin1 = in / "caf\xe9.tif";
  fs::copy_file(SamplesDir() / "tcl_logo_cmyk_2extra.tif", latin1);
  const CliResult r = RunCli(app.path(), {"import", latin1.string()});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_TRUE(IsUtf8(r.out)) << r.out;
  EXPECT_NE(r.out.find("\"item\": \"caf\\udce9\""), std::string::npos) << r.out;
  const CliResult lists = RunCli(app.path(), {"lists"});
  EXPECT_TRUE(IsUtf8(lists.out)) << lists.out;
  EXPECT_NE(lists.out.find("caf\\udce9"), std::string::npos) << lists.out;
}

TEST_F(Hostile, VerboseLogsTheSizeProbe) {
  ItemCopy("page", "page.pdf", "tcl_logo.pdf");
  const CliResult r = RunCli(app.path(), {"--verbose", "print", "page"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find("log: size probe: \"" + (app / "bin/gs").string() + "\" "), std::string::npos) << r.err;
}

TEST_F(Hostile, ALinkInAnItemIsNeverFollowed) {
  TempDir outside;
  fs::copy_file(SamplesDir() / "tcl_logo_cmyk_2extra.tif", outside / "target.tif");
  fs::create_directories(app / "RipIn/CustomFiles/art");
  fs::create_symlink(outside / "target.tif", app / "RipIn/CustomFiles/art/link.tif");
  const CliResult r = RunCli(app.path(), {"--set", "dfPreserveCF=0", "print", "art"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("link.tif is not printed: a symbolic link"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(outside / "target.tif"));
  EXPECT_FALSE(fs::exists(app / "RipIn/UserPrn/link.prn"));
}

}  // namespace
}  // namespace qm::test
