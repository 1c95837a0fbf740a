// The hot folder's tick, driven directly with a stand-in Print command that
// keeps the real one's contract: it takes the job lock unless held, shows
// each file on the Separation status line, logs "printed <file> to <prn>",
// moves a printed file out of its folder unless preserved, and stops at the
// first failure. The real Print runs under quillmark-cli watch (cli_tests)
// and in the soak (HotFolderSoak.Short).
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <optional>

#include "jobs/hot_folder_tick.h"
#include "platform/platform.h"
#include "jobs/commands.h"
#include "settings/startup.h"
#include "tests/support/test_support.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;

struct PrintCall {
  std::string item;
  Strings files;
  bool preserve;  // the job's "Preserved"
  bool lockHeld;
};

class Recorder : public TickReport {
 public:
  void Printed(const std::string& file, const fs::path& prn, double seconds) override {
    printed.push_back(file + " -> " + prn.filename().string());
    EXPECT_GE(seconds, 0.0);
  }
  void Failed(const NotPrinted& failed) override { this->failed.push_back(failed); }
  void Warning(std::string_view text) override { warnings.emplace_back(text); }
  void Log(std::string_view line) override { logs.emplace_back(line); }
  void Refresh() override { ++refreshes; }
  Strings printed, warnings, logs;
  std::vector<NotPrinted> failed;
  int refreshes = 0;
};

class MessageCount : public NullJobHost {
 public:
  void ShowMessage(std::string_view text, std::string_view) override { messages.emplace_back(text); }
  Strings messages;
};

class HotFolderTickTest : public ::testing::Test {
 protected:
  HotFolderTickTest() {
    SetAppDirOverride(app.path());
    session.init.dfPreserveCF = true;  // the shipped default
  }
  ~HotFolderTickTest() override { SetAppDirOverride({}); }

  bool FakePrint(JobContext& ctx, const std::string& item, FileFailure* failure) {
    std::optional<JobLock> lock;
    if (!TakeJobLock(ctx, lock)) return false;
    const fs::path folder = CustomFilesDir() / item;
    calls.push_back({item, ListFolder(folder, "*.*", EntryKind::Files), ctx.init.dfPreserveCF, ctx.lockHeld});
    if (duringPrint) duringPrint();
    for (const std::string& f : calls.back().files) {
      ctx.host.SetStatus(StatusLine::Separation, (folder / f).string());
      if (f == failing) {
        if (failure) *failure = FileFailure{f, "it is broken"};
        ctx.host.ShowMessage("Fail to Print !", f + ": it is broken");
        return false;
      }
      const fs::path prn = UserPrnDir() / (StemOf(f) + ".prn");
      WriteFileBytes(prn, "prn");
      ctx.host.Log("printed " + (folder / f).string() + " to " + prn.string());
      if (!ctx.init.dfPreserveCF) fs::remove(folder / f);
    }
    ctx.host.RefreshLists();
    return true;
  }
  HotFolderTick MakeTick() {
    return HotFolderTick(
        report,
        [this](const std::function<bool(JobContext&)>& job) {
          JobContext ctx{session.setting, session.init, host};
          return job(ctx);
        },
        [this](JobContext& ctx, const std::string& item, FileFailure* failure) {
          return FakePrint(ctx, item, failure);
        });
  }
  void MakeItem(const std::string& item, const Strings& files = {}) {
    fs::create_directories(app / ("RipIn/CustomFiles/" + item));
    for (const std::string& f : files) WriteFileBytes(app / ("RipIn/CustomFiles/" + item + "/" + f), "x");
  }
  // Ticks enough for files already in place to have settled.
  TickOutcome SettleTicks(HotFolderTick& tick, const std::string& item) {
    TickOutcome last;
    for (int i = 0; i < kSettledLooks; ++i) last = tick.Tick(item);
    return last;
  }
  Strings Folder(const std::string& item) { return ListFolder(app / ("RipIn/CustomFiles/" + item), "*"); }

  ScratchAppDir app;
  Session session;
  MessageCount host;
  Recorder report;
  std::vector<PrintCall> calls;
  std::string failing;
  std::function<void()> duringPrint;
};

TEST(HotFolderName, ContainsHotfolderInAnyCase) {
  for (const char* yes : {"AHotFolder", "MyHotFolder", "hotfolder_in"}) EXPECT_TRUE(IsHotFolderName(yes)) << yes;
  for (const char* no : {"Inbox", "hot folder"}) EXPECT_FALSE(IsHotFolderName(no)) << no;
}

// An empty hot folder runs the Print command on the item itself, which finds
// nothing. Files are printed once they have settled, from the batch folder,
// with the lock held by the tick and "Preserved" off for that job only; each
// printed file is reported with its printer file.
TEST_F(HotFolderTickTest, SettledFilesArePrintedFromTheBatchFolderAndMoved) {
  MakeItem("MyHotFolder");
  HotFolderTick tick = MakeTick();
  tick.Tick("MyHotFolder");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].item, "MyHotFolder");
  MakeItem("MyHotFolder", {"a.pdf", "b.tif"});
  for (int i = 1; i < kSettledLooks; ++i) {
    const TickOutcome waiting = tick.Tick("MyHotFolder");  // they may still be arriving
    EXPECT_EQ(waiting.printed, 0);
  }
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_EQ(report.refreshes, kSettledLooks - 1);
  const TickOutcome done = tick.Tick("MyHotFolder");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].item, BatchItemName("MyHotFolder"));
  EXPECT_EQ(calls[1].files, (Strings{"a.pdf", "b.tif"}));
  EXPECT_FALSE(calls[0].preserve || calls[1].preserve);
  EXPECT_TRUE(calls[0].lockHeld && calls[1].lockHeld);
  EXPECT_TRUE(session.init.dfPreserveCF) << "the caller's settings changed";
  EXPECT_EQ(done.printed, 2);
  EXPECT_EQ(done.failed, 0);
  EXPECT_EQ(report.printed, (Strings{"a.pdf -> a.prn", "b.tif -> b.prn"}));
  EXPECT_EQ(Folder("MyHotFolder"), Strings{});
  EXPECT_FALSE(fs::exists(CustomFilesDir() / BatchItemName("MyHotFolder")));
  EXPECT_EQ(ListFolder(UserPrnDir(), "*"), (Strings{"a.prn", "b.prn"}));
}

// A file that changes between looks (size or time), or that a process holds
// open for writing, waits; the others go on.
TEST_F(HotFolderTickTest, AChangingOrOpenFileWaitsForALaterTick) {
  MakeItem("MyHotFolder", {"done.pdf", "open.pdf", "touched.pdf"});
  const fs::path folder = app / "RipIn/CustomFiles/MyHotFolder";
  WriteFileBytes(folder / "growing.pdf", "part");
  std::ofstream writer(folder / "open.pdf", std::ios::app);  // open, writing nothing
  HotFolderTick tick = MakeTick();
  tick.Tick("MyHotFolder");
  WriteFileBytes(folder / "growing.pdf", "part and more");
  tick.Tick("MyHotFolder");
  fs::last_write_time(folder / "touched.pdf", fs::last_write_time(folder / "touched.pdf") - std::chrono::seconds(5));
  tick.Tick("MyHotFolder");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].files, Strings{"done.pdf"});
  EXPECT_EQ(Folder("MyHotFolder"), (Strings{"growing.pdf", "open.pdf", "touched.pdf"}));
  EXPECT_FALSE(fs::exists(CustomFilesDir() / BatchItemName("MyHotFolder")));
  fs::remove(folder / "touched.pdf");
  tick.Tick("MyHotFolder");  // the third look without a change
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].files, Strings{"growing.pdf"});
  writer.close();
  SettleTicks(tick, "MyHotFolder");
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[2].files, Strings{"open.pdf"});
}

// A file that fails is set aside in RipIn/Failed/<item>/ and reported with
// its cause; the files not reached go back, and one whose name a newer file
// took meanwhile comes back beside it, never over it. A second file of the
// same name failing later is kept beside the first.
TEST_F(HotFolderTickTest, AFailedFileIsSetAsideAndTheRestGoBack) {
  MakeItem("MyHotFolder", {"a.pdf", "bad.pdf", "c.pdf"});
  const fs::path folder = app / "RipIn/CustomFiles/MyHotFolder";
  failing = "bad.pdf";
  duringPrint = [&] { WriteFileBytes(folder / "c.pdf", "newer"); };
  HotFolderTick tick = MakeTick();
  const TickOutcome outcome = SettleTicks(tick, "MyHotFolder");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(outcome.printed, 1);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_EQ(report.printed, Strings{"a.pdf -> a.prn"});
  const fs::path kept = app / "RipIn/Failed/MyHotFolder/bad.pdf";
  ASSERT_EQ(report.failed.size(), 1u);
  EXPECT_EQ(report.failed[0].keptAs, kept);
  EXPECT_EQ(report.failed[0].Text(), "bad.pdf was not printed (it is broken) and was moved to " + kept.string());
  EXPECT_TRUE(fs::exists(kept));
  EXPECT_EQ(Folder("MyHotFolder"), (Strings{"c (2).pdf", "c.pdf"}));
  EXPECT_EQ(ReadFileBytes(folder / "c.pdf"), "newer");
  EXPECT_EQ(report.warnings, Strings{"a newer file took the name in the hot folder MyHotFolder: c.pdf -> c (2).pdf"});
  EXPECT_FALSE(fs::exists(CustomFilesDir() / BatchItemName("MyHotFolder")));
  EXPECT_EQ(host.messages, Strings{"Fail to Print !"}) << "the job's own message goes to the front end's host";

  duringPrint = nullptr;
  fs::remove(folder / "c (2).pdf");
  WriteFileBytes(folder / "bad.pdf", "broken again");
  SettleTicks(tick, "MyHotFolder");
  ASSERT_EQ(report.failed.size(), 2u);
  EXPECT_EQ(report.failed[1].keptAs, app / "RipIn/Failed/MyHotFolder/bad (2).pdf");
  EXPECT_EQ(ReadFileBytes(kept), "x");
}

// A link dropped into a hot folder, to a file outside the AppDir or to a
// system file, is set aside as a link at the first tick: never printed, its
// target neither read, moved nor deleted; the files beside it print.
TEST_F(HotFolderTickTest, ALinkIsSetAsideAndItsTargetIsUntouched) {
  TempDir outside;
  WriteFileBytes(outside / "target.pdf", "a customer's other file");
  MakeItem("MyHotFolder", {"a.pdf"});
  const fs::path folder = app / "RipIn/CustomFiles/MyHotFolder";
  fs::create_symlink(outside / "target.pdf", folder / "link.pdf");
  fs::create_symlink("/etc/passwd", folder / "passwd.jpg");
  HotFolderTick tick = MakeTick();
  EXPECT_EQ(tick.Tick("MyHotFolder").failed, 2);
  for (int i = 1; i < kSettledLooks; ++i) tick.Tick("MyHotFolder");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].files, Strings{"a.pdf"});
  ASSERT_EQ(report.failed.size(), 2u);
  for (const NotPrinted& f : report.failed) {
    const fs::path kept = app / "RipIn/Failed/MyHotFolder" / f.file;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(kept))) << f.file;
    EXPECT_EQ(f.Text(), f.file + " was not printed (a symbolic link) and was moved to " + kept.string());
  }
  EXPECT_EQ(ReadFileBytes(outside / "target.pdf"), "a customer's other file");
  EXPECT_EQ(Folder("MyHotFolder"), Strings{});
  EXPECT_EQ(ListFolder(UserPrnDir(), "*"), Strings{"a.prn"});
}

// Another job holding the AppDir's lock makes a tick pass without touching
// the folder or showing anything; the looks still count, so the next tick
// prints.
TEST_F(HotFolderTickTest, ABusyJobLockSkipsTheTick) {
  MakeItem("MyHotFolder", {"a.pdf"});
  HotFolderTick tick = MakeTick();
  {
    JobLock other;
    ASSERT_TRUE(other.Held());
    const TickOutcome outcome = SettleTicks(tick, "MyHotFolder");
    EXPECT_TRUE(outcome.skipped);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(Folder("MyHotFolder"), Strings{"a.pdf"});
    EXPECT_EQ(host.messages, Strings{});
    ASSERT_FALSE(report.logs.empty());
    EXPECT_EQ(report.logs.back().rfind("hot folder MyHotFolder: tick skipped, ", 0), 0u) << report.logs.back();
  }
  const TickOutcome outcome = tick.Tick("MyHotFolder");
  EXPECT_FALSE(outcome.skipped);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].files, Strings{"a.pdf"});
}

// A tick killed mid-job leaves its batch folder; the next tick's lock gives
// its files back (logged), a file whose name a newer one took beside it
// (warned), and they print once settled.
TEST_F(HotFolderTickTest, TheBatchOfAKilledTickComesBack) {
  MakeItem("MyHotFolder", {"b.pdf"});
  const fs::path batch = CustomFilesDir() / BatchItemName("MyHotFolder");
  WriteFileBytes(batch / "a.pdf", "left by a kill");
  WriteFileBytes(batch / "b.pdf", "older b");
  HotFolderTick tick = MakeTick();
  tick.Tick("MyHotFolder");
  EXPECT_FALSE(fs::exists(batch));
  EXPECT_EQ(Folder("MyHotFolder"), (Strings{"a.pdf", "b (2).pdf", "b.pdf"}));
  EXPECT_EQ(report.logs, (Strings{"back in its hot folder from a tick that did not end: MyHotFolder/a.pdf",
                                  "back in its hot folder from a tick that did not end: MyHotFolder/b.pdf"}));
  EXPECT_EQ(report.warnings, Strings{"a newer file took the name in the hot folder: MyHotFolder/b.pdf -> b (2).pdf"});
  // b.pdf was looked at before the lock gave the others back: it settles a
  // tick before them.
  SettleTicks(tick, "MyHotFolder");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].files, Strings{"b.pdf"});
  EXPECT_EQ(calls[1].files, (Strings{"a.pdf", "b (2).pdf"}));
}

}  // namespace
}  // namespace qm::test
