// Hot-folder ticks, driven directly (no waiting for the 3000 ms timer).
#include <QCheckBox>
#include <QPushButton>

#include <chrono>

#include "app/gui_hooks.h"
#include "app/hot_folder.h"
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
    c.print = [this](JobContext& ctx, const std::string& item) {
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

TEST_F(HotFolderTest, TickWhileAMessageBoxIsOpenStartsNoPrint) {
  MakeItem("MyHotFolder", {"a.pdf"});
  StartOn("MyHotFolder");
  window->OnTimer();
  // A message box of the tick's Print command is waiting; the next tick comes.
  gui::TestHooks().message = [this](std::string_view text, std::string_view) {
    messages.emplace_back(text);
    window->OnTimer();
  };
  window->ShowMessage("Fail to Print !");
  EXPECT_TRUE(calls.empty());  // the nested tick would have printed a.pdf
  EXPECT_TRUE(window->HotFolderTimer().isActive());
}

TEST_F(HotFolderTest, TickDuringAJobStartsNoSecondPrint) {
  MakeItem("MyHotFolder", {"a.pdf"});
  gui::EngineCommands c = FakePrint();
  int nested = 0;
  auto fake = c.print;
  c.print = [&](JobContext& ctx, const std::string& item) {
    // The tick arrives on the GUI thread while this job runs.
    QMetaObject::invokeMethod(window.get(), [&] { window->OnTimer(); ++nested; },
                              Qt::BlockingQueuedConnection);
    return fake(ctx, item);
  };
  StartWindow(c);
  SelectImage("MyHotFolder");
  window->OnPrint();
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(calls.size(), 1u);
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

}  // namespace
}  // namespace qm::test
