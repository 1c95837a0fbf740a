// The Workflow dialog: live settings, "Enabled", the browse button and
// "Save to Default" with a restart.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "settings/WorkflowDlg.h"
#include "settings/initiation.h"
#include "tests/gui/gui_test_support.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;

class WorkflowTest : public GuiTest {};

TEST_F(WorkflowTest, EveryControlChangeReachesTheSettingsAtOnce) {
  StartWindow();
  auto* dlg = window->WorkflowDlg();
  const InitiationSettings& init = dlg->Init();
  for (const InitiationKey& k : InitiationKeys()) {
    if (k.controlId == 1039) continue;
    if (k.isFlag) {
      auto* box = Ctl<QCheckBox>(dlg, k.controlId);
      const bool before = init.*k.flag;
      box->click();
      EXPECT_EQ(init.*k.flag, !before) << k.key;
    } else {
      Ctl<QLineEdit>(dlg, k.controlId)->setText("12");
      EXPECT_EQ(init.*k.text, "12") << k.key;
    }
  }
}

TEST_F(WorkflowTest, EnabledTogglesSeparateAndComposeTogether) {
  StartWindow();
  auto* enabled = Ctl<QCheckBox>(window->WorkflowDlg(), 1050);
  ASSERT_TRUE(enabled->isChecked());
  enabled->click();
  EXPECT_FALSE(Ctl<QPushButton>(window.get(), 1007)->isEnabled());
  EXPECT_FALSE(Ctl<QPushButton>(window.get(), 1046)->isEnabled());
  enabled->click();
  EXPECT_TRUE(Ctl<QPushButton>(window.get(), 1007)->isEnabled());
  EXPECT_TRUE(Ctl<QPushButton>(window.get(), 1046)->isEnabled());
  EXPECT_EQ(ReadFileBytes(app / "Configuration/initiation.ini").find("dfEnableSep=0"),
            std::string::npos);  // nothing saved
}

TEST_F(WorkflowTest, BrowseFillsThePrinterAppPath) {
  StartWindow();
  saveAnswers.push_back("/usr/bin/printer-app");
  Ctl<QPushButton>(window->WorkflowDlg(), gui::kBrowseButtonId)->click();
  EXPECT_EQ(Ctl<QLineEdit>(window->WorkflowDlg(), 1066)->text(), "/usr/bin/printer-app");
  EXPECT_EQ(window->WorkflowDlg()->Init().dfPAPPPath, "/usr/bin/printer-app");
}

TEST_F(WorkflowTest, SaveToDefaultAndRestartRestoreEveryControl) {
  std::string cfg = ReadFileBytes(app / "Configuration/Default.cfg");
  WriteFileBytes(app / "Configuration/Second.cfg", cfg);
  std::filesystem::copy(app / "Configuration/Default", app / "Configuration/Second",
                        std::filesystem::copy_options::recursive);
  StartWindow();
  auto* dlg = window->WorkflowDlg();
  // Every check box inverted, every edit given a value.
  for (const InitiationKey& k : InitiationKeys()) {
    if (k.isFlag) Ctl<QCheckBox>(dlg, k.controlId)->click();
  }
  Ctl<QLineEdit>(dlg, 1062)->setText("300");
  Ctl<QLineEdit>(dlg, 1064)->setText("600");
  Ctl<QLineEdit>(dlg, 1061)->setText("");
  Ctl<QLineEdit>(dlg, 1066)->setText("/opt/printer/app");
  dlg->OnDropDownPreset();
  auto* combo = Ctl<QComboBox>(dlg, 1039);
  combo->setCurrentIndex(1);
  emit combo->activated(1);
  const InitiationSettings saved = dlg->Init();
  Ctl<QPushButton>(dlg, 1040)->click();
  EXPECT_EQ(messages, Strings{"Saved!"});
  const std::string bytes = ReadFileBytes(app / "Configuration/initiation.ini");
  EXPECT_NE(bytes.find("dfPreset=Second.cfg\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("dfRotLimit=0\r\n"), std::string::npos);  // empty edit saved as 0

  // A restart shows the saved values (printer application and hot folder
  // were switched on by the inversion).
  window.reset();
  messages.clear();
  StartWindow();
  auto* again = window->WorkflowDlg();
  for (const InitiationKey& k : InitiationKeys()) {
    if (k.isFlag) {
      EXPECT_EQ(Ctl<QCheckBox>(again, k.controlId)->isChecked(), saved.*k.flag) << k.key;
    } else if (k.controlId != 1039) {
      const std::string expected = k.controlId == 1061 ? "0" : saved.*k.text;
      EXPECT_EQ(Ctl<QLineEdit>(again, k.controlId)->text().toStdString(), expected) << k.key;
    }
  }
  EXPECT_EQ(Ctl<QComboBox>(again, 1039)->currentText(), "Second.cfg");
  EXPECT_EQ(window->SettingDlg() != nullptr, true);
  EXPECT_EQ(started, std::vector<std::filesystem::path>{"/opt/printer/app"});
  EXPECT_EQ(messages, Strings{"Fail to active hotfolder!"});  // no AHotFolder folder
}

TEST_F(WorkflowTest, SaveToDefaultNeedsAPreset) {
  StartWindow();
  auto* dlg = window->WorkflowDlg();
  dlg->OnDropDownPreset();  // clears the selection
  const std::string before = ReadFileBytes(app / "Configuration/initiation.ini");
  Ctl<QPushButton>(dlg, 1040)->click();
  EXPECT_EQ(messages, Strings{"Choose a preset file to save."});
  EXPECT_EQ(ReadFileBytes(app / "Configuration/initiation.ini"), before);
}

}  // namespace
}  // namespace qm::test
