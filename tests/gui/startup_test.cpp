// The start-up sequence: each failure shows its one message and leaves the
// state reached.
#include <QComboBox>
#include <QPushButton>

#include "settings/SettingDlg.h"
#include "settings/WorkflowDlg.h"
#include "tests/gui/gui_test_support.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;

class StartupTest : public GuiTest {};

TEST_F(StartupTest, DefaultInitiationAppliesThePresetAndFillsTheLists) {
  MakeItem("photo", {"photo.pdf"});
  auto& w = StartWindow();
  EXPECT_EQ(messages, Strings{});
  EXPECT_EQ(w.Setting().settingApplied, 1);
  EXPECT_EQ(ListEntries(1002), Strings{"photo"});
  EXPECT_TRUE(Ctl<QPushButton>(&w, 1007)->isEnabled());  // dfEnableSep=1 in the default file
  EXPECT_EQ(w.SettingDlg()->Form().preset.Text(), "Default.cfg");
  EXPECT_EQ(Ctl<QComboBox>(w.WorkflowDlg(), 1039)->currentText(), "Default.cfg");
  EXPECT_FALSE(w.HotFolderTimer().isActive());
  EXPECT_TRUE(started.empty());
}

TEST_F(StartupTest, MissingInitiationFileStopsAfterItsMessage) {
  std::filesystem::remove(app / "Configuration/initiation.ini");
  MakeItem("photo");
  auto& w = StartWindow();
  EXPECT_EQ(messages, Strings{"Fail to open initiation.ini!"});
  EXPECT_EQ(ListEntries(1002), Strings{});
  EXPECT_EQ(w.Setting().settingApplied, 0);
  EXPECT_FALSE(Ctl<QPushButton>(&w, 1007)->isEnabled());
  EXPECT_FALSE(Ctl<QPushButton>(&w, 1046)->isEnabled());
  EXPECT_TRUE(started.empty());
}

TEST_F(StartupTest, UnknownPresetStopsWithSeparateFollowingTheFile) {
  WriteInitiation({"dfPreset=Missing.cfg", "dfEnableSep=1", "dfLaunchPAPP=1", "dfPAPPPath=/bin/true"});
  MakeItem("photo");
  auto& w = StartWindow();
  EXPECT_EQ(messages, Strings{"Fail to find the right preset file!"});
  EXPECT_EQ(ListEntries(1002), Strings{});
  EXPECT_EQ(w.Setting().settingApplied, 0);
  EXPECT_TRUE(Ctl<QPushButton>(&w, 1007)->isEnabled());
  EXPECT_TRUE(Ctl<QPushButton>(&w, 1046)->isEnabled());
  EXPECT_TRUE(w.WorkflowDlg()->Init().dfLaunchPAPP);  // the Workflow dialog shows the file
  EXPECT_TRUE(started.empty());
}

TEST_F(StartupTest, EmptyPresetNameIsNotFound) {
  WriteInitiation({"dfPreset="});
  StartWindow();
  EXPECT_EQ(messages, Strings{"Fail to find the right preset file!"});
}

TEST_F(StartupTest, PresetNameIsMatchedWithoutCase) {
  WriteInitiation({"dfPreset=DEFAULT.cfg"});
  auto& w = StartWindow();
  EXPECT_EQ(messages, Strings{});
  EXPECT_EQ(w.Setting().settingApplied, 1);
  EXPECT_EQ(w.SettingDlg()->Form().preset.Text(), "Default.cfg");
}

TEST_F(StartupTest, PresetFailingApplyStillStartsThePrinterApplication) {
  std::string cfg = ReadFileBytes(app / "Configuration/Default.cfg");
  const auto at = cfg.find("PRNSequence=0,1,2,3,L0,L1");
  ASSERT_NE(at, std::string::npos);
  cfg.replace(at, std::string("PRNSequence=0,1,2,3,L0,L1").size(), "PRNSequence=");
  WriteFileBytes(app / "Configuration/Bad.cfg", cfg);
  std::filesystem::copy(app / "Configuration/Default", app / "Configuration/Bad",
                        std::filesystem::copy_options::recursive);
  WriteInitiation({"dfPreset=Bad.cfg", "dfLaunchPAPP=1", "dfPAPPPath=/opt/printer/app"});
  MakeItem("photo");
  auto& w = StartWindow();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), "Fail to Apply the Preset file!");
  EXPECT_EQ(w.Setting().settingApplied, 0);
  EXPECT_EQ(ListEntries(1002), Strings{"photo"});  // the lists were filled before Apply
  EXPECT_EQ(started, std::vector<std::filesystem::path>{"/opt/printer/app"});
}

TEST_F(StartupTest, SeparateAndComposeStayDisabledWithoutTheFlag) {
  WriteInitiation({"dfPreset=Default.cfg"});
  auto& w = StartWindow();
  EXPECT_EQ(messages, Strings{});
  EXPECT_FALSE(Ctl<QPushButton>(&w, 1007)->isEnabled());
  EXPECT_FALSE(Ctl<QPushButton>(&w, 1046)->isEnabled());
}

TEST_F(StartupTest, HotFolderIsActivatedOnAHotFolder) {
  WriteInitiation({"dfPreset=Default.cfg", "dfActiveHF=1"});
  MakeItem("ahotfolder");
  MakeItem("photo");
  auto& w = StartWindow();
  EXPECT_EQ(messages, Strings{});
  EXPECT_EQ(SelectedRowOf(1002), 0);
  EXPECT_TRUE(w.HotFolderTimer().isActive());
  EXPECT_EQ(w.HotFolderTimer().interval(), 3000);
}

TEST_F(StartupTest, HotFolderWithoutAHotFolderShowsItsMessage) {
  WriteInitiation({"dfPreset=Default.cfg", "dfActiveHF=1"});
  MakeItem("MyHotFolder");
  auto& w = StartWindow();
  EXPECT_EQ(messages, Strings{"Fail to active hotfolder!"});
  EXPECT_FALSE(w.HotFolderTimer().isActive());
  EXPECT_EQ(w.Setting().settingApplied, 1);
}

}  // namespace
}  // namespace qm::test
