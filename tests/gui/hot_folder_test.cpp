// Hot-folder ticks, driven directly (no waiting for the 3000 ms timer).
#include <QCheckBox>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>

#include "app/gui_hooks.h"
#include "app/hot_folder.h"
#include "platform/job_lock.h"
#include "settings/SettingDlg.h"
#include "settings/WorkflowDlg.h"
#include "tests/gui/gui_test_support.h"
#include "tests/reliability/cli_process.h"

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
  // A stand-in Print command: takes the job lock, records what it saw and
  // takes every file out of the folder, as the Print job does with
  // "Preserved" off.
  gui::EngineCommands FakePrint() {
    gui::EngineCommands c = gui::DefaultEngineCommands();
    c.print = [this](JobContext& ctx, const std::string& item, FileFailure*) {
      std::optional<JobLock> lock;  // as the Print command takes it
      if (!TakeJobLock(ctx, lock)) return false;
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
  for (int i = 1; i < gui::kSettledLooks; ++i) window->OnTimer();  // they may still be arriving
  EXPECT_TRUE(calls.empty());
  window->OnTimer();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].item, gui::BatchItemName("MyHotFolder"));
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
  SettleTicks();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_FALSE(calls[0].preserve);
  EXPECT_TRUE(preserved->isChecked());
  EXPECT_TRUE(window->WorkflowDlg()->Init().dfPreserveCF);
}

// A file that changes between looks, or that a process holds open for
// writing, waits; the others go on.
TEST_F(HotFolderTest, AChangingOrOpenFileWaitsForALaterTick) {
  MakeItem("MyHotFolder", {"done.pdf", "open.pdf"});
  const fs::path folder = app / "RipIn/CustomFiles/MyHotFolder";
  WriteFileBytes(folder / "growing.pdf", "part");
  std::ofstream writer(folder / "open.pdf", std::ios::app);  // open, writing nothing
  StartOn("MyHotFolder");
  window->OnTimer();
  WriteFileBytes(folder / "growing.pdf", "part and more");
  for (int i = 1; i < gui::kSettledLooks; ++i) window->OnTimer();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].files, Strings{"done.pdf"});
  EXPECT_EQ(ListFolder(folder, "*.*"), (Strings{"growing.pdf", "open.pdf"}));
  EXPECT_FALSE(fs::exists(CustomFilesDir() / gui::BatchItemName("MyHotFolder")));
  window->OnTimer();  // the third look without a change: growing.pdf's turn
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].files, Strings{"growing.pdf"});
  writer.close();
  SettleTicks();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[2].files, Strings{"open.pdf"});
}

TEST_F(HotFolderTest, ATouchedFileAlsoWaits) {
  MakeItem("MyHotFolder", {"a.pdf"});
  StartOn("MyHotFolder");
  window->OnTimer();
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
  for (int i = 1; i < gui::kSettledLooks; ++i) window->OnTimer();
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
  ReturnBatch(batch, folder);
  EXPECT_EQ(ReadFileBytes(folder / "a.pdf"), "newer");
  EXPECT_EQ(ReadFileBytes(folder / "a (2).pdf"), "older");
  EXPECT_EQ(ReadFileBytes(folder / "b.pdf"), "b");
  EXPECT_FALSE(fs::exists(batch));
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
    EXPECT_TRUE(window->HotFolderTimer().isActive());
    window->OnPrint();
    EXPECT_EQ(messages, Strings{"Another job is using the working folder!"});
  }
  window->OnTimer();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].files, Strings{"a.pdf"});
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
  SettleTicks();
  EXPECT_EQ(messages, Strings{});
  EXPECT_EQ(ListFolder(app / "RipIn/CustomFiles/MyHotFolder", "*.*"), Strings{});
  EXPECT_TRUE(fs::exists(app / "RipIn/UserPrn/logo.prn"));
  EXPECT_EQ(ListEntries(1004), Strings{"logo.prn"});
  EXPECT_TRUE(window->HotFolderTimer().isActive());
  EXPECT_TRUE(Ctl<QCheckBox>(window->WorkflowDlg(), 1055)->isChecked());
}

// With the real Print command, writers that pause with their file open and
// files cut short (the writer closed it early), dropped together: a file is
// printed only whole, to the very bytes the command line prints from the
// whole file; one cut short is set aside in RipIn/Failed/<item>/ with its
// reason in the notice line, never printed, and no box waits for anyone.
TEST_F(HotFolderTest, OnlyWholeFilesArePrinted) {
  struct Drop {
    const char* name;
    const char* sample;
    int pause;  // seconds the writer holds the file open half-written; -1: it stops there
  };
  const Drop drops[] = {{"pause 4 s.jpg", "flowers_rgb.jpg", 4},
                        {"pause 7 s.tif", "imagemagick_logo_rgb.tif", 7},
                        {"cut short.jpg", "flowers_rgb.jpg", -1},
                        {"ends early.pdf", "tcl_logo.pdf", -1}};
  UseFastPreset(app);
  StartWindow();
  if (!gui::DefaultEngineCommands().print) GTEST_SKIP() << "no output layer";
  MakeItem("MyHotFolder");
  MakeItem("whole");
  window->OnUpdateList();
  SelectImage("MyHotFolder");
  window->OnActive();
  const fs::path folder = app / "RipIn/CustomFiles/MyHotFolder";
  std::vector<std::unique_ptr<QProcess>> writers;
  for (const Drop& d : drops) {
    const fs::path sample = SamplesDir() / d.sample;
    if (d.pause >= 0) fs::copy_file(sample, app / "RipIn/CustomFiles/whole" / d.name);
    const std::string half = std::to_string(fs::file_size(sample) / 2);
    const QString script = d.pause < 0 ? QStringLiteral("head -c $2 \"$3\" > \"$1\"")
                                       : QStringLiteral("exec 3>\"$1\"; head -c $2 \"$3\" >&3; sleep $4; "
                                                        "tail -c +$(($2 + 1)) \"$3\" >&3");
    writers.push_back(std::make_unique<QProcess>());
    writers.back()->start("sh", {"-c", script, "sh", QString::fromStdString((folder / d.name).string()),
                                 QString::fromStdString(half), QString::fromStdString(sample.string()),
                                 QString::number(d.pause)});
    ASSERT_TRUE(writers.back()->waitForStarted());
  }
  // Ticks twice a second, faster than the timer's, until the writers are
  // done and the folder is empty (or a minute has passed).
  auto busy = [&] {
    const bool writing = std::any_of(writers.begin(), writers.end(),
                                     [](const auto& w) {
                                       w->waitForFinished(0);  // takes in its end, if it came
                                       return w->state() != QProcess::NotRunning;
                                     });
    return writing || !ListFolder(folder, "*.*", EntryKind::Files).empty();
  };
  for (int tick = 0; tick < 120 && busy(); ++tick) {
    window->OnTimer();
    QThread::msleep(500);
  }
  EXPECT_EQ(messages, Strings{}) << "a box was opened";
  auto prn = [&](const Drop& d) { return app / "RipIn/UserPrn" / (StemOf(d.name) + ".prn"); };
  std::vector<std::string> printed;
  for (const Drop& d : drops) printed.push_back(fs::exists(prn(d)) ? ReadFileBytes(prn(d)) : "(none)");
  const CliResult whole = RunCli(app.path(), {"print", "whole"});  // replaces them
  ASSERT_EQ(whole.exitStatus, 0) << whole.err;
  for (std::size_t i = 0; i < std::size(drops); ++i) {
    const Drop& d = drops[i];
    const fs::path failed = app / "RipIn/Failed/MyHotFolder" / d.name;
    if (d.pause >= 0) {
      EXPECT_EQ(FirstDifference(ReadFileBytes(prn(d)), printed[i]), "") << d.name << " was not printed whole";
      EXPECT_FALSE(fs::exists(failed)) << d.name;
    } else {
      EXPECT_TRUE(printed[i] == "(none)") << d.name << " was printed";
      EXPECT_EQ(ReadFileBytes(failed).size(), fs::file_size(SamplesDir() / d.sample) / 2) << d.name;
      EXPECT_NE(window->LastNotice().find(" was not printed ("), std::string::npos) << window->LastNotice();
    }
  }
  EXPECT_EQ(ListFolder(folder, "*.*"), Strings{});
  EXPECT_EQ(ListEntries(1002), (Strings{"MyHotFolder", "whole"}));
  EXPECT_TRUE(window->HotFolderTimer().isActive());
}

}  // namespace
}  // namespace qm::test
