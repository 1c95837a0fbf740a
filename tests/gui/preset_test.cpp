// The two preset combos, the Apply relay and the Setting dialog's commands.
#include <QCloseEvent>
#include <QComboBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "settings/SettingDlg.h"
#include "tests/gui/gui_test_support.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

class PresetTest : public GuiTest {
 protected:
  // A copy of Default under `name` whose Suffix is `suffix`.
  void AddPreset(const std::string& name, const std::string& suffix) {
    std::string cfg = ReadFileBytes(app / "Configuration/Default.cfg");
    cfg.replace(cfg.find("Suffix=prn"), std::string("Suffix=prn").size(), "Suffix=" + suffix);
    WriteFileBytes(app / ("Configuration/" + name + ".cfg"), cfg);
    fs::copy(app / "Configuration/Default", app / ("Configuration/" + name),
             fs::copy_options::recursive);
  }
  QComboBox* MainCombo() { return Ctl<QComboBox>(window.get(), 1062); }
  // Drops the main window's combo down and chooses the entry at `index`.
  void ChooseInMainWindow(int index) {
    window->OnDropDownPreset();
    MainCombo()->setCurrentIndex(index);
    emit MainCombo()->activated(index);
  }
};

TEST_F(PresetTest, MainComboIsEmptyUntilDroppedDown) {
  StartWindow();
  EXPECT_EQ(MainCombo()->count(), 0);
  window->OnDropDownPreset();
  EXPECT_EQ(MainCombo()->count(), 1);
  EXPECT_EQ(MainCombo()->currentIndex(), -1);
}

TEST_F(PresetTest, ChoosingAPresetLoadsAndAppliesIt) {
  AddPreset("Other", "ot");
  StartWindow();
  EXPECT_EQ(window->Setting().Suffix, "prn");
  ChooseInMainWindow(1);  // Default.cfg, Other.cfg
  EXPECT_EQ(messages, Strings{});
  EXPECT_EQ(window->SettingDlg()->Form().preset.Text(), "Other.cfg");
  EXPECT_EQ(Ctl<QLineEdit>(window->SettingDlg(), 1032)->text(), "ot");
  EXPECT_EQ(window->Setting().Suffix, "ot");
  EXPECT_EQ(window->Setting().settingApplied, 1);
}

TEST_F(PresetTest, CombosArePairedByPositionAfterAPresetWasAdded) {
  AddPreset("Zeta", "ze");
  StartWindow();  // the Setting dialog's combo: Default.cfg, Zeta.cfg
  AddPreset("Alpha", "al");  // the main combo, refilled now: Alpha.cfg, Default.cfg, Zeta.cfg
  ChooseInMainWindow(0);     // "Alpha.cfg" in the main window ...
  // ... is position 0 of the Setting dialog's older list.
  EXPECT_EQ(window->SettingDlg()->Form().preset.Text(), "Default.cfg");
  EXPECT_EQ(window->Setting().Suffix, "prn");
  ChooseInMainWindow(1);
  EXPECT_EQ(window->SettingDlg()->Form().preset.Text(), "Zeta.cfg");
  EXPECT_EQ(window->Setting().Suffix, "ze");
  // Past the end of the older list: no preset selected, and Apply fails.
  ChooseInMainWindow(2);
  EXPECT_EQ(window->SettingDlg()->Form().preset.selected, -1);
  EXPECT_EQ(window->Setting().settingApplied, 0);
  EXPECT_EQ(messages.back(), "Fail to Apply the Preset file!");
}

TEST_F(PresetTest, ApplyButtonRunsTheWrapperThroughTheRelay) {
  StartWindow();
  auto* dlg = window->SettingDlg();
  Ctl<QLineEdit>(dlg, 1024)->setText("");  // an empty sequence fails Apply
  EXPECT_EQ(dlg->Form().PRNSequence, "");
  Ctl<QPushButton>(dlg, 1059)->click();
  EXPECT_EQ(messages, (Strings{"Fail to  read prn color sequence!", "Fail to Apply the Preset file!"}));
  EXPECT_EQ(window->Setting().settingApplied, 0);
  Ctl<QLineEdit>(dlg, 1024)->setText("0,1,2,3");
  Ctl<QPushButton>(window.get(), 1060)->click();
  EXPECT_EQ(window->Setting().settingApplied, 1);
  EXPECT_EQ(window->Setting().PRNSequence, "0,1,2,3");
}

TEST_F(PresetTest, TitleBarCloseAppliesAndEscapeOrEnterOnlyHide) {
  StartWindow();
  auto* dlg = window->SettingDlg();
  window->OnSetting();
  EXPECT_TRUE(dlg->isVisible());
  Ctl<QLineEdit>(dlg, 1032)->setText("esc");
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(dlg, &escape);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(window->Setting().Suffix, "prn");
  window->OnSetting();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(dlg, &enter);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(window->Setting().Suffix, "prn");
  window->OnSetting();
  dlg->close();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(window->Setting().Suffix, "esc");
}

TEST_F(PresetTest, DigitEditsRefuseOtherCharacters) {
  StartWindow();
  auto* x = Ctl<QLineEdit>(window->SettingDlg(), 1010);
  x->clear();
  for (QChar c : QStringLiteral("7a2-0")) {
    QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(x, &key);
  }
  EXPECT_EQ(x->text(), "720");
  EXPECT_EQ(window->SettingDlg()->Form().xResolution, "720");
}

TEST_F(PresetTest, SaveAsInsideConfigurationRefillsTheCombo) {
  StartWindow();
  auto* dlg = window->SettingDlg();
  Ctl<QLineEdit>(dlg, 1032)->setText("new");
  saveAnswers.push_back(QString::fromStdString((app / "Configuration/NewPreset").string()));
  Ctl<QPushButton>(dlg, 1038)->click();
  EXPECT_EQ(messages, Strings{"Saved!"});
  EXPECT_EQ(filters.back(), "CFG Files(*.cfg) (*.cfg)");
  EXPECT_TRUE(fs::exists(app / "Configuration/NewPreset.cfg"));
  EXPECT_TRUE(fs::exists(app / "Configuration/NewPreset/linear.txt"));
  EXPECT_NE(ReadFileBytes(app / "Configuration/NewPreset.cfg").find("Suffix=new"), std::string::npos);
  auto* combo = Ctl<QComboBox>(dlg, 1009);
  EXPECT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->currentIndex(), -1);
  EXPECT_EQ(dlg->Form().preset.selected, -1);
  Ctl<QPushButton>(dlg, 1059)->click();  // nothing selected: Apply fails
  EXPECT_EQ(messages.back(), "Fail to Apply the Preset file!");
}

TEST_F(PresetTest, SaveAsOutsideConfigurationLeavesTheCombo) {
  StartWindow();
  TempDir out;
  auto* dlg = window->SettingDlg();
  saveAnswers.push_back(QString::fromStdString((out / "new.preset.txt").string()));
  Ctl<QPushButton>(dlg, 1038)->click();
  EXPECT_EQ(messages, Strings{"Saved!"});
  EXPECT_TRUE(fs::exists(out / "new.preset.cfg"));
  EXPECT_TRUE(fs::exists(out / "new.preset/linear.txt"));
  EXPECT_EQ(Ctl<QComboBox>(dlg, 1009)->currentText(), "Default.cfg");
  EXPECT_EQ(dlg->Form().preset.Text(), "Default.cfg");
}

TEST_F(PresetTest, SaveAsWithoutAPresetAsksForOneBeforeTheDialog) {
  std::filesystem::remove(app / "Configuration/initiation.ini");
  StartWindow();
  messages.clear();
  Ctl<QPushButton>(window->SettingDlg(), 1038)->click();
  EXPECT_EQ(messages, Strings{"Choose a preset file to save as."});
  EXPECT_TRUE(filters.empty());
}

TEST_F(PresetTest, SettingComboDropDownClearsTheSelection) {
  StartWindow();
  window->SettingDlg()->OnDropDownPreset();
  EXPECT_EQ(window->SettingDlg()->Form().preset.selected, -1);
  EXPECT_EQ(Ctl<QComboBox>(window->SettingDlg(), 1009)->currentIndex(), -1);
}

}  // namespace
}  // namespace qm::test
