// The two preset combos, the hidden Apply button and the Setting dialog's
// commands.
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "app/SettingDlg.h"
#include "tests/gui/gui_test_support.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;
using S = gui::CSettingDlg;
namespace fs = std::filesystem;

class PresetTest : public GuiTest {
 protected:
  // A copy of Default under `name` whose Suffix is `suffix`.
  void AddPreset(const std::string& name, const std::string& suffix) {
    std::string cfg = ReadFileBytes(app / "Configuration/Default.cfg");
    cfg.replace(cfg.find("Suffix=prn"), std::string("Suffix=prn").size(), "Suffix=" + suffix);
    WriteFileBytes(app / ("Configuration/" + name + ".cfg"), cfg);
    fs::copy(app / "Configuration/Default", app / ("Configuration/" + name), fs::copy_options::recursive);
  }
  // Drops the main window's combo down and chooses the entry at `index`.
  void ChooseInMainWindow(int index) {
    auto* combo = Ctl<QComboBox>(window.get(), gui::CQuillmarkDlg::kPreset);
    window->OnDropDownPreset();
    combo->setCurrentIndex(index);
    emit combo->activated(index);
  }
  S* Dlg() { return window->SettingDlg(); }
};

// The main window's combo is filled when it drops down; a choice there is
// taken by position in the Setting dialog's list as of its last filling, and
// applied.
TEST_F(PresetTest, MainComboChoosesByPositionAndApplies) {
  AddPreset("Zeta", "ze");
  StartWindow();  // the Setting dialog's combo: Default.cfg, Zeta.cfg
  EXPECT_EQ(Ctl<QComboBox>(window.get(), gui::CQuillmarkDlg::kPreset)->count(), 0);
  AddPreset("Alpha", "al");  // the main combo, refilled now: Alpha.cfg, Default.cfg, Zeta.cfg
  ChooseInMainWindow(1);
  EXPECT_EQ(Dlg()->Form().preset.Text(), "Zeta.cfg");
  EXPECT_EQ(Ctl<QLineEdit>(Dlg(), S::kSuffix)->text(), "ze");
  EXPECT_EQ(window->Setting().Suffix, "ze");
  EXPECT_EQ(messages, Strings{});
  ChooseInMainWindow(0);
  EXPECT_EQ(window->Setting().Suffix, "prn");
  // Past the end of the older list: no preset selected, and Apply fails.
  ChooseInMainWindow(2);
  EXPECT_EQ(Dlg()->Form().preset.selected, -1);
  EXPECT_EQ(window->Setting().settingApplied, 0);
  EXPECT_EQ(messages, Strings{"Fail to Apply the Preset file!"});
}

TEST_F(PresetTest, ApplyRunsTheWrapperThroughTheMainWindow) {
  StartWindow();
  Ctl<QLineEdit>(Dlg(), S::kPrnSequence)->setText("");  // an empty sequence fails Apply
  Ctl<QPushButton>(Dlg(), S::kApply)->click();
  EXPECT_EQ(messages, (Strings{"Fail to  read prn color sequence!", "Fail to Apply the Preset file!"}));
  EXPECT_EQ(window->Setting().settingApplied, 0);
}

TEST_F(PresetTest, TitleBarCloseAppliesAndEscapeOrEnterOnlyHide) {
  StartWindow();
  Ctl<QLineEdit>(Dlg(), S::kSuffix)->setText("esc");
  for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
    window->OnSetting();
    EXPECT_TRUE(Dlg()->isVisible());
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(Dlg(), &press);
    EXPECT_FALSE(Dlg()->isVisible());
    EXPECT_EQ(window->Setting().Suffix, "prn");
  }
  window->OnSetting();
  Dlg()->close();
  EXPECT_FALSE(Dlg()->isVisible());
  EXPECT_EQ(window->Setting().Suffix, "esc");
}

TEST_F(PresetTest, DigitEditsRefuseOtherCharacters) {
  StartWindow();
  auto* x = Ctl<QLineEdit>(Dlg(), S::kXResolution);
  x->clear();
  for (QChar c : QStringLiteral("7a2-0")) {
    QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(x, &key);
  }
  EXPECT_EQ(Dlg()->Form().xResolution, "720");
}

// "save as" asks for a preset first, offers the one filter, and shows the
// refilled combo without a selection after saving into Configuration.
TEST_F(PresetTest, SaveAs) {
  std::filesystem::remove(app / "Configuration/initiation.ini");
  StartWindow();
  messages.clear();
  Ctl<QPushButton>(Dlg(), S::kSaveAs)->click();
  EXPECT_EQ(messages, Strings{"Choose a preset file to save as."});
  EXPECT_TRUE(filters.empty());
  Dlg()->OnDropDownPreset();
  auto* combo = Ctl<QComboBox>(Dlg(), S::kPreset);
  combo->setCurrentIndex(0);
  emit combo->activated(0);
  Ctl<QLineEdit>(Dlg(), S::kSuffix)->setText("new");
  saveAnswers.push_back(QString::fromStdString((app / "Configuration/NewPreset").string()));
  Ctl<QPushButton>(Dlg(), S::kSaveAs)->click();
  EXPECT_EQ(messages.back(), "Saved!");
  EXPECT_EQ(filters, std::vector<QString>{"CFG Files(*.cfg) (*.cfg)"});
  EXPECT_NE(ReadFileBytes(app / "Configuration/NewPreset.cfg").find("Suffix=new"), std::string::npos);
  EXPECT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->currentIndex(), -1);
  emit combo->activated(1);
  ASSERT_EQ(Dlg()->Form().preset.Text(), "NewPreset.cfg");
  Dlg()->OnDropDownPreset();  // a drop-down clears the selection
  EXPECT_EQ(Dlg()->Form().preset.selected, -1);
}

}  // namespace
}  // namespace qm::test
