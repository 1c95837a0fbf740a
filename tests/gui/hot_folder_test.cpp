// Hot-folder ticks, driven directly (no waiting for the 3000 ms timer), with
// a stand-in Print command: the real one is the engine's, and the soak
// (HotFolderSoak.Short) runs it through the desktop program.
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>

#include <chrono>
#include <fstream>

#include "app/SettingDlg.h"
#include "app/WorkflowDlg.h"
#include "app/gui_hooks.h"
#include "app/hot_folder.h"
#include "platform/job_lock.h"
#include "tests/gui/gui_test_support.h"
#include "tests/support/cli_runner.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;
using W = gui::CQuillmarkDlg;
namespace fs = std::filesystem;

struct PrintCall {
  std::string item;
  Strings files;
  bool preserve;  // the job's "Preserved"
};

class HotFolderTest : public GuiTest {
 protected:
  // Takes the job lock as the Print command does, records what it saw and
  // prints the files in listing order: moved to Working unless preserved;
  // the file `failing` fails, and the files after it are not reached.
  gui::EngineCommands FakePrint() {
    gui::EngineCommands c = gui::DefaultEngineCommands();
    c.print = [this](JobContext& ctx, const std::string& item, FileFailure* failure) {
      std::optional<JobLock> lock;
      if (!TakeJobLock(ctx, lock)) return false;
      const fs::path folder = CustomFilesDir() / item;
      calls.push_back({item, ListFolder(folder, "*.*", EntryKind::Files), ctx.init.dfPreserveCF});
      if (duringPrint) duringPrint();
      for (const std::string& f : calls.back().files) {
        if (f == failing) {
          if (failure) *failure = FileFailure{f, "it is broken"};
          return false;
        }
        if (!ctx.init.dfPreserveCF) fs::rename(folder / f, WorkingDir() / f);
        WriteFileBytes(UserPrnDir() / (StemOf(f) + ".prn"), "prn");
      }
      ctx.host.RefreshLists();
      return true;
    };
    return c;
  }
  // Ticks enough for files already in place to have settled.
  void SettleTicks() {
    for (int i = 0; i < gui::kSettledLooks; ++i) window->OnTimer();
  }
  void StartOn(const std::string& item) {
    StartWindow(FakePrint());
    SelectImage(item);
    window->OnActive();
    ASSERT_TRUE(window->HotFolderTimer().isActive());
  }
  std::vector<PrintCall> calls;
  std::string failing;
  std::function<void()> duringPrint;
};

TEST(HotFolderName, ContainsHotfolderInAnyCase) {
  for (const char* yes : {"AHotFolder", "MyHotFolder", "hotfolder_in"}) EXPECT_TRUE(gui::IsHotFolderName(yes)) << yes;
  for (const char* no : {"Inbox", "hot folder"}) EXPECT_FALSE(gui::IsHotFolderName(no)) << no;
}

// An empty hot folder runs the Print command on the item itself, which finds
// nothing and refreshes the lists. Settled files are printed from the batch
// folder and moved, even with "Preserved" on (the shipped default), which
// stays on; Print pressed by hand keeps the files.
TEST_F(HotFolderTest, ATickMovesTheFilesWhateverPreservedSays) {
  MakeItem("MyHotFolder");
  StartOn("MyHotFolder");
  window->OnTimer();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].item, "MyHotFolder");
  MakeItem("MyHotFolder", {"a.pdf", "b.tif"});
  for (int i = 1; i < gui::kSettledLooks; ++i) window->OnTimer();  // they may still be arriving
  EXPECT_EQ(calls.size(), 1u);
  window->OnTimer();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].item, gui::BatchItemName("MyHotFolder"));
  EXPECT_EQ(calls[1].files, (Strings{"a.pdf", "b.tif"}));
  EXPECT_FALSE(calls[0].preserve || calls[1].preserve);
  EXPECT_EQ(ListFolder(app / "RipIn/CustomFiles/MyHotFolder", "*.*"), Strings{});
  EXPECT_EQ(ListEntries(W::kPrnList), (Strings{"a.prn", "b.prn"}));
  EXPECT_TRUE(Ctl<QCheckBox>(window->WorkflowDlg(), gui::CWorkflowDlg::kPreserved)->isChecked());
  EXPECT_TRUE(window->WorkflowDlg()->Init().dfPreserveCF);
  EXPECT_TRUE(window->HotFolderTimer().isActive());
  EXPECT_EQ(messages, Strings{});
  MakeItem("MyHotFolder", {"c.pdf"});
  window->OnPrint();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_TRUE(calls[2].preserve);
}

// A file that changes between looks (size or time), or that a process holds
// open for writing, waits; the others go on.
TEST_F(HotFolderTest, AChangingOrOpenFileWaitsForALaterTick) {
  MakeItem("MyHotFolder", {"done.pdf", "open.pdf", "touched.pdf"});
  const fs::path folder = app / "RipIn/CustomFiles/MyHotFolder";
  WriteFileBytes(folder / "growing.pdf", "part");
  std::ofstream writer(folder / "open.pdf", std::ios::app);  // open, writing nothing
  StartOn("MyHotFolder");
  window->OnTimer();
  WriteFileBytes(folder / "growing.pdf", "part and more");
  window->OnTimer();
  fs::last_write_time(folder / "touched.pdf", fs::last_write_time(folder / "touched.pdf") - std::chrono::seconds(5));
  window->OnTimer();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].files, Strings{"done.pdf"});
  EXPECT_EQ(ListFolder(folder, "*.*"), (Strings{"growing.pdf", "open.pdf", "touched.pdf"}));
  EXPECT_FALSE(fs::exists(CustomFilesDir() / gui::BatchItemName("MyHotFolder")));
  fs::remove(folder / "touched.pdf");
  window->OnTimer();  // the third look without a change
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].files, Strings{"growing.pdf"});
  writer.close();
  SettleTicks();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[2].files, Strings{"open.pdf"});
}

// A file that fails is set aside in RipIn/Failed/<item>/ with a notice and no
// box; the files not reached go back, and one whose name a newer file took
// meanwhile comes back beside it, never over it.
TEST_F(HotFolderTest, AFailedFileIsSetAsideAndTheRestGoBack) {
  MakeItem("MyHotFolder", {"a.pdf", "bad.pdf", "c.pdf"});
  const fs::path folder = app / "RipIn/CustomFiles/MyHotFolder";
  failing = "bad.pdf";
  duringPrint = [&] { WriteFileBytes(folder / "c.pdf", "newer"); };
  StartOn("MyHotFolder");
  SettleTicks();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(messages, Strings{});
  EXPECT_TRUE(fs::exists(app / "RipIn/Failed/MyHotFolder/bad.pdf"));
  EXPECT_EQ(ListFolder(folder, "*.*"), (Strings{"c (2).pdf", "c.pdf"}));
  EXPECT_EQ(ReadFileBytes(folder / "c.pdf"), "newer");
  EXPECT_FALSE(fs::exists(CustomFilesDir() / gui::BatchItemName("MyHotFolder")));
  // Both warnings are on the notice line's list, the last one shown.
  const std::string notices = window->findChild<QLabel*>(QStringLiteral("notice"))->toolTip().toStdString();
  EXPECT_NE(notices.find("Warning: bad.pdf was not printed (it is broken) and was moved to " +
                         (app.path() / "RipIn/Failed/MyHotFolder/bad.pdf").string()),
            std::string::npos)
      << notices;
  EXPECT_NE(window->LastNotice().find("a newer file took the name in the hot folder MyHotFolder: "), std::string::npos)
      << window->LastNotice();
  EXPECT_TRUE(window->HotFolderTimer().isActive());
}

// A link dropped into a hot folder, to a file outside the AppDir or to a
// system file, is set aside as a link: never printed, its target neither
// read, moved nor deleted; the files beside it print.
TEST_F(HotFolderTest, ALinkIsSetAsideAndItsTargetIsUntouched) {
  TempDir outside;
  WriteFileBytes(outside / "target.pdf", "a customer's other file");
  MakeItem("MyHotFolder", {"a.pdf"});
  const fs::path folder = app / "RipIn/CustomFiles/MyHotFolder";
  fs::create_symlink(outside / "target.pdf", folder / "link.pdf");
  fs::create_symlink("/etc/passwd", folder / "passwd.jpg");
  StartOn("MyHotFolder");
  SettleTicks();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].files, Strings{"a.pdf"});
  for (const char* link : {"link.pdf", "passwd.jpg"}) {
    const fs::path kept = app / "RipIn/Failed/MyHotFolder" / link;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(kept))) << link;
    EXPECT_NE(window->findChild<QLabel*>(QStringLiteral("notice"))->toolTip().toStdString().find(
                  std::string(link) + " was not printed (a symbolic link) and was moved to " + kept.string()),
              std::string::npos)
        << link;
  }
  EXPECT_EQ(ReadFileBytes(outside / "target.pdf"), "a customer's other file");
  EXPECT_EQ(ListFolder(folder, "*"), Strings{});
  EXPECT_FALSE(fs::exists(app / "RipIn/UserPrn/link.prn"));
  EXPECT_FALSE(fs::exists(app / "RipIn/UserPrn/passwd.prn"));
  EXPECT_EQ(messages, Strings{});
}

// With the real Print command: a page that never ends is killed at the
// limit of limits.txt, set aside, and the file after it prints at a later
// tick; set aside, it is out of the hot folder, so no later tick or start
// takes it again.
TEST_F(HotFolderTest, APageThatNeverEndsIsSetAsideAndTheNextFilePrints) {
  UseFastPreset(app);
  WriteFileBytes(app / "Configuration/limits.txt", "ToolTimeLimit=2\r\n");
  const fs::path folder = app / "RipIn/CustomFiles/LoopHotFolder";
  fs::create_directories(folder);
  WriteFileBytes(folder / "a_loop.pdf", "%!PS\n{ 1 pop } loop\nshowpage\n%%EOF\n");
  fs::copy_file(SamplesDir() / "tcl_logo_cmyk_2extra.tif", folder / "b_good.tif");
  StartWindow();
  SelectImage("LoopHotFolder");
  window->OnActive();
  for (int i = 0; i < 3 * gui::kSettledLooks && !fs::exists(app / "RipIn/UserPrn/b_good.prn"); ++i) window->OnTimer();
  EXPECT_TRUE(fs::exists(app / "RipIn/Failed/LoopHotFolder/a_loop.pdf"));
  EXPECT_TRUE(fs::exists(app / "RipIn/UserPrn/b_good.prn"));
  EXPECT_NE(window->findChild<QLabel*>(QStringLiteral("notice"))->toolTip().toStdString().find(
                "a_loop.pdf was not printed (gs ran past the time limit of 2 s ("),
            std::string::npos);
  EXPECT_EQ(ListFolder(folder, "*"), Strings{});
  EXPECT_EQ(messages, Strings{});
}

TEST_F(HotFolderTest, ANameWithoutHotfolderStopsTheTimerAndNoSelectionKeepsIt) {
  MakeItem("Inbox", {"a.pdf"});
  MakeItem("MyHotFolder", {"a.pdf"});
  StartOn("MyHotFolder");
  Ctl<QListWidget>(window.get(), W::kImageList)->clearSelection();
  window->OnTimer();
  window->OnTimer();
  EXPECT_EQ(messages, (Strings{"Fail to active hot folder !", "Fail to active hot folder !"}));
  EXPECT_TRUE(window->HotFolderTimer().isActive());
  SelectImage("Inbox");
  window->OnTimer();
  EXPECT_EQ(messages.back(), "Custom file name should contain \"hotfolder\" !");
  EXPECT_FALSE(window->HotFolderTimer().isActive());
  EXPECT_TRUE(calls.empty());
}

// Ticks are held while a job runs or a box of a tick (or of Print) waits,
// and only then: a box of another window ("Saved!" of the Setting dialog)
// holds nothing.
TEST_F(HotFolderTest, OnlyJobsAndBoxesOfTicksAndPrintHoldTheTicks) {
  MakeItem("MyHotFolder", {"a.pdf"});
  gui::EngineCommands c = FakePrint();
  const auto fake = c.print;
  c.print = [&](JobContext& ctx, const std::string& item, FileFailure* failure) {
    // A tick arrives on the GUI thread while this job runs.
    QMetaObject::invokeMethod(window.get(), [&] { window->OnTimer(); }, Qt::BlockingQueuedConnection);
    return fake(ctx, item, failure);
  };
  StartWindow(c);
  SelectImage("MyHotFolder");
  window->OnActive();
  window->OnPrint();
  EXPECT_EQ(calls.size(), 1u);
  MakeItem("MyHotFolder", {"b.pdf"});
  for (int i = 1; i < gui::kSettledLooks; ++i) window->OnTimer();
  Ctl<QListWidget>(window.get(), W::kImageList)->clearSelection();
  gui::TestHooks().message = [this](std::string_view text, std::string_view) {
    messages.emplace_back(text);
    if (messages.size() > 1) return;
    SelectImage("MyHotFolder");
    window->OnTimer();  // the next tick, while the box waits
  };
  window->OnTimer();  // "Fail to active hot folder !"
  EXPECT_EQ(messages, Strings{"Fail to active hot folder !"});
  EXPECT_EQ(calls.size(), 1u) << "a tick printed while the box of a tick waited";
  messages.clear();
  gui::ShowMessage(window->SettingDlg(), "Saved!");
  EXPECT_EQ(calls.size(), 2u) << "a box of the Setting dialog held the hot folder";
}

// Another job holding the AppDir's lock (a quillmark-cli job) makes a tick
// pass without a box and without touching the folder; the next tick prints.
// A Print pressed by hand still says why it cannot run.
TEST_F(HotFolderTest, ABusyJobLockSkipsTheTickWithoutABox) {
  MakeItem("MyHotFolder", {"a.pdf"});
  StartOn("MyHotFolder");
  {
    JobLock other;
    ASSERT_TRUE(other.Held());
    SettleTicks();
    window->OnTimer();
    EXPECT_EQ(messages, Strings{});
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(ListFolder(app / "RipIn/CustomFiles/MyHotFolder", "*.*"), Strings{"a.pdf"});
    window->OnPrint();
    EXPECT_EQ(messages, Strings{"Another job is using the working folder!"});
  }
  window->OnTimer();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].files, Strings{"a.pdf"});
}

}  // namespace
}  // namespace qm::test
