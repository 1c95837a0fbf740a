// The start-up sequence: each failure shows its one message and leaves the
// state reached; each row is one initiation file.
#include <QComboBox>
#include <QPushButton>

#include "app/SettingDlg.h"
#include "app/WorkflowDlg.h"
#include "tests/gui/gui_test_support.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;
using Paths = std::vector<std::filesystem::path>;
using W = gui::CQuillmarkDlg;

struct Start {
  const char* name;
  Strings initiation;   // KEY=VALUE lines; {"-"}: no file; {}: the shipped file
  bool badPreset;       // Bad.cfg: the Default preset with an empty PRNSequence
  Strings messages;
  int applied;
  Strings imageList;    // with the items "ahotfolder" and "photo" in place
  bool separate;        // Separate and Compose enabled
  Paths started;
  bool hotFolder;
};

const Start kStarts[] = {
    {"shipped file", {}, false, {}, 1, {"ahotfolder", "photo"}, true, {}, false},
    {"no file", {"-"}, false, {"Fail to open initiation.ini!"}, 0, {}, false, {}, false},
    {"unknown preset", {"dfPreset=Missing.cfg", "dfEnableSep=1", "dfLaunchPAPP=1", "dfPAPPPath=/bin/true"}, false,
     {"Fail to find the right preset file!"}, 0, {}, true, {}, false},
    {"empty preset", {"dfPreset="}, false, {"Fail to find the right preset file!"}, 0, {}, false, {}, false},
    {"preset in capitals", {"dfPreset=DEFAULT.cfg"}, false, {}, 1, {"ahotfolder", "photo"}, false, {}, false},
    {"preset fails Apply", {"dfPreset=Bad.cfg", "dfLaunchPAPP=1", "dfPAPPPath=/opt/printer/app"}, true,
     {"Fail to  read prn color sequence!", "Fail to Apply the Preset file!"}, 0, {"ahotfolder", "photo"}, false,
     {"/opt/printer/app"}, false},
    {"hot folder", {"dfPreset=Default.cfg", "dfActiveHF=1"}, false, {}, 1, {"ahotfolder", "photo"}, false, {}, true},
};

class StartupTest : public GuiTest, public ::testing::WithParamInterface<Start> {};

TEST_P(StartupTest, ShowsItsMessagesAndLeavesTheStateReached) {
  const Start& s = GetParam();
  SCOPED_TRACE(s.name);
  if (s.initiation == Strings{"-"}) std::filesystem::remove(app / "Configuration/initiation.ini");
  else if (!s.initiation.empty()) WriteInitiation(s.initiation);
  if (s.badPreset) {
    std::string cfg = ReadFileBytes(app / "Configuration/Default.cfg");
    cfg.replace(cfg.find("PRNSequence=0,1,2,3,L0,L1"), std::string("PRNSequence=0,1,2,3,L0,L1").size(), "PRNSequence=");
    WriteFileBytes(app / "Configuration/Bad.cfg", cfg);
    std::filesystem::copy(app / "Configuration/Default", app / "Configuration/Bad", std::filesystem::copy_options::recursive);
  }
  MakeItem("ahotfolder");
  MakeItem("photo", {"photo.pdf"});
  auto& w = StartWindow();
  EXPECT_EQ(messages, s.messages);
  EXPECT_EQ(w.Setting().settingApplied, s.applied);
  EXPECT_EQ(ListEntries(W::kImageList), s.imageList);
  EXPECT_EQ(Ctl<QPushButton>(&w, W::kSeparate)->isEnabled(), s.separate);
  EXPECT_EQ(Ctl<QPushButton>(&w, W::kCompose)->isEnabled(), s.separate);
  EXPECT_EQ(started, s.started);
  EXPECT_EQ(w.HotFolderTimer().isActive(), s.hotFolder);
  if (s.hotFolder) {
    EXPECT_EQ(SelectedRowOf(W::kImageList), 0);
    EXPECT_EQ(w.HotFolderTimer().interval(), 3000);
  }
  if (s.applied) {
    EXPECT_EQ(w.SettingDlg()->Form().preset.Text(), "Default.cfg");
    EXPECT_EQ(Ctl<QComboBox>(w.WorkflowDlg(), gui::CWorkflowDlg::kPreset)->currentText(), "Default.cfg");
  }
}

INSTANTIATE_TEST_SUITE_P(Initiation, StartupTest, ::testing::ValuesIn(kStarts));

// Without an item named AHotFolder the hot folder cannot start.
TEST_F(GuiTest, HotFolderAtStartNeedsItsItem) {
  WriteInitiation({"dfPreset=Default.cfg", "dfActiveHF=1"});
  MakeItem("MyHotFolder");
  auto& w = StartWindow();
  EXPECT_EQ(messages, Strings{"Fail to active hotfolder!"});
  EXPECT_FALSE(w.HotFolderTimer().isActive());
  EXPECT_EQ(w.Setting().settingApplied, 1);
}

}  // namespace
}  // namespace qm::test
