// quillmark-cli watch end to end, as a print shop's service runs it: the
// real Print command on a scratch AppDir, the JSON lines it writes, the
// folders after it, and its end by a signal in the middle of a job.
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>

#include "platform/platform.h"
#include "tests/support/cli_runner.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;
constexpr const char* kLoopingPage = "%!PS\n{ 1 pop } loop\nshowpage\n%%EOF\n";

class Watch : public ::testing::Test {
 protected:
  void SetUp() override {
    UseFastPreset(app);
    fs::create_directories(folder);
  }
  Strings Lines(const std::string& text) {
    Strings lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "an unfinished line: " << text.substr(start);
    return lines;
  }
  ScratchAppDir app;
  fs::path folder = app / "RipIn/CustomFiles/NightHotFolder";
  fs::path batch = app / "RipIn/CustomFiles/.NightHotFolder.batch";
};

// --once on a folder of two good files, one whose contents lie, a page that
// never ends (killed at the limit of limits.txt) and a copy paused with its
// file open: a JSON line per file handled, in order, the failed ones in
// RipIn/Failed/<item>/, the paused one left where it is; 1 for the failures.
TEST_F(Watch, OncePrintsSettledFilesAndSetsAsideTheBadOnes) {
  WriteFileBytes(app / "Configuration/limits.txt", "ToolTimeLimit=2\r\n");
  fs::copy_file(SamplesDir() / "tcl_logo_cmyk_2extra.tif", folder / "a_good.tif");
  WriteFileBytes(folder / "b_lies.jpg", "%PDF-1.4 not a picture at all");
  WriteFileBytes(folder / "c_loop.pdf", kLoopingPage);
  fs::copy_file(SamplesDir() / "flowers_rgb.jpg", folder / "d_good.jpg");
  std::ofstream paused(folder / "e_paused.jpg", std::ios::binary);
  paused << ReadFileBytes(SamplesDir() / "flowers_rgb.jpg").substr(0, 1000) << std::flush;

  const CliResult r = RunCli(app.path(), {"watch", "NightHotFolder", "--once", "--interval", "0.2"});
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  const Strings lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 4u) << r.out;
  const std::string prn = (app / "RipIn/UserPrn").string(), failed = (app / "RipIn/Failed/NightHotFolder").string();
  const std::string printedA =
      "{\"event\": \"printed\", \"file\": \"a_good.tif\", \"prn\": \"" + prn + "/a_good.prn\", \"seconds\": ";
  ASSERT_EQ(lines[0].rfind(printedA, 0), 0u) << lines[0];
  const std::string seconds = lines[0].substr(printedA.size());
  EXPECT_TRUE(seconds.size() >= 2 && seconds.back() == '}' &&
              seconds.find_first_not_of("0123456789.") == seconds.size() - 1)
      << lines[0];
  EXPECT_EQ(lines[1].rfind("{\"event\": \"failed\", \"file\": \"b_lies.jpg\", \"keptAs\": \"" + failed +
                               "/b_lies.jpg\", \"cause\": \"",
                           0),
            0u)
      << lines[1];
  EXPECT_NE(lines[1].find("b_lies.jpg is a PDF, not a JPEG image"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("\"file\": \"c_loop.pdf\", \"keptAs\": \"" + failed + "/c_loop.pdf\", \"cause\": \"gs ran "
                          "past the time limit of 2 s ("),
            std::string::npos)
      << lines[2];
  EXPECT_EQ(lines[3].rfind("{\"event\": \"printed\", \"file\": \"d_good.jpg\", \"prn\": \"" + prn + "/d_good.prn\"", 0),
            0u)
      << lines[3];
  EXPECT_NE(r.err.find("Warning: b_lies.jpg was not printed ("), std::string::npos) << r.err;
  EXPECT_EQ(ListFolder(app / "RipIn/UserPrn", "*", EntryKind::Files), (Strings{"a_good.prn", "d_good.prn"}));
  EXPECT_EQ(ListFolder(app / "RipIn/Failed/NightHotFolder", "*"), (Strings{"b_lies.jpg", "c_loop.pdf"}));
  EXPECT_EQ(ListFolder(folder, "*"), Strings{"e_paused.jpg"});
  EXPECT_FALSE(fs::exists(batch));
}

// The name rule and the item: a message each and exit 1, before anything is
// touched; bad usage is 2.
TEST_F(Watch, RefusesANameWithoutHotfolderAndAnItemNotInTheList) {
  fs::create_directories(app / "RipIn/CustomFiles/Inbox");
  WriteFileBytes(app / "RipIn/CustomFiles/Inbox/a.jpg", "x");
  struct Row {
    Strings args;
    int status;
    std::string err;
  };
  for (const Row& row : std::vector<Row>{
           {{"watch", "Inbox", "--once"}, 1, "Custom file name should contain \"hotfolder\" !\n"},
           {{"watch", "GoneHotFolder", "--once"}, 1, "Choose an item from Image List!\n"},
           {{"watch", ".NightHotFolder.batch", "--once"}, 1, "Choose an item from Image List!\n"},
           {{"watch", "--once"}, 2, "quillmark-cli: watch takes ITEM\n"},
           {{"watch", "NightHotFolder", "--interval", "0"}, 2, "quillmark-cli: --interval takes"},
           {{"watch", "NightHotFolder", "--interval"}, 2, "quillmark-cli: --interval takes"},
           {{"watch", "NightHotFolder", "--every", "3"}, 2, "quillmark-cli: unknown watch option '--every'"},
       }) {
    const CliResult r = RunCli(app.path(), row.args);
    EXPECT_EQ(r.exitStatus, row.status) << row.args[1] << ": " << r.err;
    EXPECT_EQ(r.err.rfind(row.err, 0), 0u) << row.args[1] << ": " << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(ListFolder(app / "RipIn/CustomFiles/Inbox", "*"), Strings{"a.jpg"});
  // Without an applied preset every file would be refused at every tick.
  WriteFileBytes(folder / "a.jpg", "x");
  SetConfigValue(app / "Configuration/initiation.ini", "dfPreset", "Nope.cfg");
  const CliResult r = RunCli(app.path(), {"watch", "NightHotFolder"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.err.rfind("Fail to find the right preset file!\n", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("quillmark-cli: no preset is applied: the hot folder cannot print\n"), std::string::npos) << r.err;
  EXPECT_EQ(ListFolder(folder, "*"), Strings{"a.jpg"});
}

// A hot folder that goes away under a running watch ends it with its cause,
// never a silent loop.
TEST_F(Watch, AHotFolderThatGoesAwayEndsIt) {
  CliChild child(app.path(), {"watch", "NightHotFolder", "--interval", "0.2"});
  ASSERT_TRUE(child.WaitUntil([&] { return fs::exists(app / "RipIn/.joblock"); }, std::chrono::seconds(30)));
  fs::remove_all(folder);
  const CliResult r = child.Wait(std::chrono::seconds(30));
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find("quillmark-cli: cannot read the hot folder " + folder.string() + ": "), std::string::npos)
      << r.err;
}

// SIGTERM or SIGINT, between ticks or with Ghostscript running on a page:
// exit 0; the file being printed is back in its hot folder, not printed,
// and neither its batch folder nor any file of the job is left.
class WatchStopped : public Watch, public ::testing::WithParamInterface<std::pair<int, bool>> {};

TEST_P(WatchStopped, EndsWithEveryFilePrintedOrBack) {
  const auto [signal, midJob] = GetParam();
  if (midJob) WriteFileBytes(folder / "loop.pdf", kLoopingPage);
  CliChild child(app.path(), {"watch", "NightHotFolder", "--interval", "0.2"});
  const fs::path staged = app / "RipIn/Working/00.pdf";
  ASSERT_TRUE(child.WaitUntil(
      [&] { return midJob ? fs::exists(staged) && fs::exists(batch / "loop.pdf") : fs::exists(app / "RipIn/.joblock"); },
      std::chrono::seconds(30)));
  child.Kill(signal);
  const CliResult r = child.Wait(std::chrono::seconds(30));
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ListFolder(folder, "*"), midJob ? Strings{"loop.pdf"} : Strings{});
  if (midJob) {
    EXPECT_EQ(ReadFileBytes(folder / "loop.pdf"), kLoopingPage);
  }
  EXPECT_FALSE(fs::exists(batch));
  EXPECT_EQ(FilesBelow(app / "RipIn/Working"), Strings{});
  EXPECT_EQ(FilesBelow(app / "RipIn/UserPrn"), Strings{});
}

INSTANTIATE_TEST_SUITE_P(Signals, WatchStopped,
                         ::testing::Values(std::pair{SIGTERM, true}, std::pair{SIGINT, true},
                                           std::pair{SIGTERM, false}),
                         [](const auto& info) {
                           return std::string(info.param.first == SIGTERM ? "SIGTERM" : "SIGINT") +
                                  (info.param.second ? "_mid_job" : "_between_ticks");
                         });

}  // namespace
}  // namespace qm::test
