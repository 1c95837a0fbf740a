// The window's hot folder, driven directly (no waiting for the 3000 ms
// timer), with a stand-in Print command: the timer runs the tick
// (jobs/hot_folder_tick.h, tested in jobs_tests) and shows what it reports;
// the name rule and the boxes that hold the ticks are the window's.
#include <QCheckBox>
#include <QListWidget>

#include "app/SettingDlg.h"
#include "app/WorkflowDlg.h"
#include "app/gui_hooks.h"
#include "platform/job_lock.h"
#include "jobs/commands.h"
#include "tests/gui/gui_test_support.h"

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
    for (int i = 0; i < kSettledLooks; ++i) window->OnTimer();
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

// The timer runs the tick: settled files are printed from the batch folder
// and moved, even with "Preserved" on (the shipped default), which stays on
// in the window; Print pressed by hand keeps the files. A failure is a
// notice, never a box, and the timer goes on.
TEST_F(HotFolderTest, TheTimerRunsTheTickAndShowsItsNotices) {
  MakeItem("MyHotFolder", {"a.pdf", "bad.pdf", "c.pdf"});
  failing = "bad.pdf";
  StartOn("MyHotFolder");
  for (int i = 1; i < kSettledLooks; ++i) window->OnTimer();
  EXPECT_TRUE(calls.empty());
  window->OnTimer();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].item, BatchItemName("MyHotFolder"));
  EXPECT_EQ(calls[0].files, (Strings{"a.pdf", "bad.pdf", "c.pdf"}));
  EXPECT_FALSE(calls[0].preserve);
  EXPECT_EQ(ListFolder(app / "RipIn/CustomFiles/MyHotFolder", "*.*"), Strings{"c.pdf"});
  EXPECT_EQ(window->LastNotice(), "Warning: bad.pdf was not printed (it is broken) and was moved to " +
                                      (app.path() / "RipIn/Failed/MyHotFolder/bad.pdf").string());
  EXPECT_TRUE(Ctl<QCheckBox>(window->WorkflowDlg(), gui::CWorkflowDlg::kPreserved)->isChecked());
  EXPECT_TRUE(window->WorkflowDlg()->Init().dfPreserveCF);
  EXPECT_TRUE(window->HotFolderTimer().isActive());
  EXPECT_EQ(messages, Strings{});
  failing.clear();
  window->OnTimer();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].files, Strings{"c.pdf"});
  EXPECT_EQ(ListEntries(W::kPrnList), (Strings{"a.prn", "c.prn"}));
  MakeItem("MyHotFolder", {"d.pdf"});
  window->OnPrint();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_TRUE(calls[2].preserve);
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
  for (int i = 1; i < kSettledLooks; ++i) window->OnTimer();
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

}  // namespace
}  // namespace qm::test
