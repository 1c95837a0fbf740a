// Hot-folder ticks, driven directly (no waiting for the 3000 ms timer).
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>

#include <chrono>

#include "app/gui_hooks.h"
#include "app/hot_folder.h"
#include "settings/SettingDlg.h"
#include "settings/WorkflowDlg.h"
#include "tests/gui/gui_test_support.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

struct PrintCall {
  std::string item;
  Strings files;
  bool preserve;
};

class HotFolderTest : public GuiTest {
 protected:
  // A stand-in Print command: records what it saw and takes every file out
  // of the folder, as the Print job does with "Preserved" off.
  gui::EngineCommands FakePrint() {
    gui::EngineCommands c = gui::DefaultEngineCommands();
    c.print = [this](JobContext& ctx, const std::string& item, FileFailure*) {
      const fs::path folder = CustomFilesDir() / item;
      PrintCall call{item, ListFolder(folder, "*.*", EntryKind::Files), ctx.init.dfPreserveCF};
      for (const std::string& f : call.files) {
        if (!ctx.init.dfPreserveCF) fs::rename(folder / f, WorkingDir() / f);
        WriteFileBytes(UserPrnDir() / (StemOf(f) + ".prn"), "prn");
      }
      calls.push_back(call);
      ctx.host.RefreshLists();
      return true;
    };
    return c;
  }
  void StartOn(const std::string& item) {
    StartWindow(FakePrint());
    SelectImage(item);
    window->OnActive();
    ASSERT_TRUE(window->HotFolderTimer().isActive());
  }
  std::vector<PrintCall> calls;
};

TEST_F(HotFolderTest, NameTestIgnoresCase) {
  EXPECT_TRUE(gui::IsHotFolderName("AHotFolder"));
  EXPECT_TRUE(gui::IsHotFolderName("MyHotFolder"));
  EXPECT_TRUE(gui::IsHotFolderName("hotfolder_in"));
  EXPECT_FALSE(gui::IsHotFolderName("Inbox"));
  EXPECT_FALSE(gui::IsHotFolderName("hot folder"));
}

TEST_F(HotFolderTest, TickPrintsSettledFilesAndEmptiesTheFolder) {
  MakeItem("MyHotFolder", {"a.pdf", "b.tif"});
  StartOn("MyHotFolder");
  window->OnTimer();  // first look: the files may still be arriving
  EXPECT_TRUE(calls.empty());
  window->OnTimer();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].item, "MyHotFolder");
  EXPECT_EQ(calls[0].files, (Strings{"a.pdf", "b.tif"}));
  EXPECT_EQ(ListFolder(app / "RipIn/CustomFiles/MyHotFolder", "*.*"), Strings{});
  EXPECT_EQ(ListEntries(1004), (Strings{"a.prn", "b.prn"}));
  EXPECT_TRUE(window->HotFolderTimer().isActive());
  EXPECT_EQ(messages, Strings{});
}

TEST_F(HotFolderTest, PreservedIsOffDuringTheTickAndOnAgainAfter) {
  MakeItem("MyHotFolder", {"a.pdf"});
  StartOn("MyHotFolder");
  auto* preserved = Ctl<QCheckBox>(window->WorkflowDlg(), 1055);
  ASSERT_TRUE(preserved->isChecked());  // the default initiation file preserves
  window->OnTimer();
  window->OnTimer();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_FALSE(calls[0].preserve);
  EXPECT_TRUE(preserved->isChecked());
  EXPECT_TRUE(window->WorkflowDlg()->Init().dfPreserveCF);
}

TEST_F(HotFolderTest, AGrowingFileWaitsForALaterTick) {
  MakeItem("MyHotFolder", {"done.pdf"});
  WriteFileBytes(app / "RipIn/CustomFiles/MyHotFolder/growing.pdf", "part");
  StartOn("MyHotFolder");
  window->OnTimer();
  WriteFileBytes(app / "RipIn/CustomFiles/MyHotFolder/growing.pdf", "part and more");
  window->OnTimer();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].item, gui::BatchItemName("MyHotFolder"));
  EXPECT_EQ(calls[0].files, Strings{"done.pdf"});
  EXPECT_EQ(ListFolder(app / "RipIn/CustomFiles/MyHotFolder", "*.*"), Strings{"growing.pdf"});
  EXPECT_FALSE(fs::exists(CustomFilesDir() / gui::BatchItemName("MyHotFolder")));
  window->OnTimer();  // unchanged since the last tick: its turn now
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].item, "MyHotFolder");
  EXPECT_EQ(calls[1].files, Strings{"growing.pdf"});
  EXPECT_EQ(ListFolder(app / "RipIn/CustomFiles/MyHotFolder", "*.*"), Strings{});
}

TEST_F(HotFolderTest, ATouchedFileAlsoWaits) {
  MakeItem("MyHotFolder", {"a.pdf"});
  StartOn("MyHotFolder");
  window->OnTimer();
  const fs::path file = app / "RipIn/CustomFiles/MyHotFolder/a.pdf";
  fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(5));
  window->OnTimer();
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(fs::exists(file));
}

TEST_F(HotFolderTest, NameWithoutHotfolderStopsTheTimer) {
  MakeItem("Inbox", {"a.pdf"});
  StartOn("Inbox");
  window->OnTimer();
  EXPECT_EQ(messages, Strings{"Custom file name should contain \"hotfolder\" !"});
  EXPECT_FALSE(window->HotFolderTimer().isActive());
  EXPECT_TRUE(calls.empty());
}

TEST_F(HotFolderTest, NothingSelectedKeepsTheTimerRunning) {
  MakeItem("MyHotFolder", {"a.pdf"});
  StartOn("MyHotFolder");
  SelectImage("MyHotFolder");
  window->findChild<QListWidget*>(QStringLiteral("1002"))->clearSelection();
  window->OnTimer();
  window->OnTimer();
  EXPECT_EQ(messages, (Strings{"Fail to active hot folder !", "Fail to active hot folder !"}));
  EXPECT_TRUE(window->HotFolderTimer().isActive());
  EXPECT_TRUE(calls.empty());
}

// Ticks are held while a box of a tick (or of Print) waits, and only then:
// a box of another window ("Saved!" of the Setting dialog) holds nothing.
TEST_F(HotFolderTest, OnlyBoxesOfTicksAndPrintHoldTheTicks) {
  MakeItem("MyHotFolder", {"a.pdf"});
  StartOn("MyHotFolder");
  window->OnTimer();
  window->findChild<QListWidget*>(QStringLiteral("1002"))->clearSelection();
  gui::TestHooks().message = [this](std::string_view text, std::string_view) {
    messages.emplace_back(text);
    if (messages.size() > 1) return;
    SelectImage("MyHotFolder");
    window->OnTimer();  // the next tick, while the box waits
  };
  window->OnTimer();  // "Fail to active hot folder !"
  EXPECT_EQ(messages, Strings{"Fail to active hot folder !"});
  EXPECT_TRUE(calls.empty()) << "a tick printed while the box of a tick waited";

  messages.clear();
  gui::ShowMessage(window->SettingDlg(), "Saved!");
  EXPECT_EQ(calls.size(), 1u) << "a box of the Setting dialog held the hot folder";
  EXPECT_TRUE(window->HotFolderTimer().isActive());
}

TEST_F(HotFolderTest, TickDuringAJobStartsNoSecondPrint) {
  MakeItem("MyHotFolder", {"a.pdf"});
  gui::EngineCommands c = FakePrint();
  int nested = 0;
  auto fake = c.print;
  c.print = [&](JobContext& ctx, const std::string& item, FileFailure* failure) {
    // The tick arrives on the GUI thread while this job runs.
    QMetaObject::invokeMethod(window.get(), [&] { window->OnTimer(); ++nested; },
                              Qt::BlockingQueuedConnection);
    return fake(ctx, item, failure);
  };
  StartWindow(c);
  SelectImage("MyHotFolder");
  window->OnPrint();
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(calls.size(), 1u);
}

// A batch comes back without replacing a file that took its name meanwhile.
TEST_F(HotFolderTest, ReturningABatchNeverOverwritesANewerFile) {
  const fs::path folder = app / "RipIn/CustomFiles/MyHotFolder", batch = app / "RipIn/CustomFiles/.b";
  WriteFileBytes(batch / "a.pdf", "older");
  WriteFileBytes(batch / "b.pdf", "b");
  WriteFileBytes(folder / "a.pdf", "newer");
  gui::ReturnBatch(batch, folder);
  EXPECT_EQ(ReadFileBytes(folder / "a.pdf"), "newer");
  EXPECT_EQ(ReadFileBytes(folder / "a (2).pdf"), "older");
  EXPECT_EQ(ReadFileBytes(folder / "b.pdf"), "b");
  EXPECT_FALSE(fs::exists(batch));
}

TEST_F(HotFolderTest, AnEmptyHotFolderRunsThePrintCommand) {
  MakeItem("MyHotFolder");
  StartOn("MyHotFolder");
  window->OnTimer();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].item, "MyHotFolder");
}

TEST_F(HotFolderTest, ActiveRestartsTheTimer) {
  MakeItem("MyHotFolder");
  StartOn("MyHotFolder");
  window->OnActive();
  EXPECT_TRUE(window->HotFolderTimer().isActive());
  EXPECT_EQ(window->HotFolderTimer().interval(), 3000);
}

// With the real Print command: a tick prints the image into UserPrn and
// takes it out of the hot folder.
TEST_F(HotFolderTest, RealPrintEmptiesTheHotFolder) {
  const fs::path sample = SamplesDir() / "tcl_logo_cmyk_300dpi.tif";
  if (!fs::exists(sample)) GTEST_SKIP() << "no sample artwork";
  StartWindow();
  if (!gui::DefaultEngineCommands().print) GTEST_SKIP() << "no output layer";
  MakeItem("MyHotFolder");
  fs::copy_file(sample, app / "RipIn/CustomFiles/MyHotFolder/logo.tif");
  window->OnUpdateList();
  SelectImage("MyHotFolder");
  window->OnActive();
  window->OnTimer();
  window->OnTimer();
  EXPECT_EQ(messages, Strings{});
  EXPECT_EQ(ListFolder(app / "RipIn/CustomFiles/MyHotFolder", "*.*"), Strings{});
  EXPECT_TRUE(fs::exists(app / "RipIn/UserPrn/logo.prn"));
  EXPECT_EQ(ListEntries(1004), Strings{"logo.prn"});
  EXPECT_TRUE(window->HotFolderTimer().isActive());
  EXPECT_TRUE(Ctl<QCheckBox>(window->WorkflowDlg(), 1055)->isChecked());
}

// With the real Print command: a file that cannot be printed is set aside in
// RipIn/Failed/<item>/, whole, with its reason in the window's notice line;
// the hot folder goes on with the others.
TEST_F(HotFolderTest, AFileThatFailsIsSetAsideNotLost) {
  StartWindow();
  if (!gui::DefaultEngineCommands().print) GTEST_SKIP() << "no output layer";
  MakeItem("MyHotFolder", {"bad.jpg"});
  window->OnUpdateList();
  SelectImage("MyHotFolder");
  window->OnActive();
  window->OnTimer();
  window->OnTimer();
  EXPECT_EQ(messages, Strings{"Fail to Print !"});
  EXPECT_EQ(ReadFileBytes(app / "RipIn/Failed/MyHotFolder/bad.jpg"), "x");
  EXPECT_TRUE(ListFolder(app / "RipIn/CustomFiles/MyHotFolder", "*.*").empty());
  EXPECT_NE(window->LastNotice().find("bad.jpg was not printed ("), std::string::npos) << window->LastNotice();
  EXPECT_EQ(ListEntries(1002), Strings{"MyHotFolder"});
  EXPECT_TRUE(window->HotFolderTimer().isActive());
}

}  // namespace
}  // namespace qm::test
