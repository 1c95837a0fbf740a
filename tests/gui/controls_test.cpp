// The controls of every dialog: IDs, kinds, captions and initial states.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "app/widgets.h"
#include "settings/SettingDlg.h"
#include "settings/WorkflowDlg.h"
#include "settings/initiation.h"
#include "settings/preset.h"
#include "tests/gui/gui_test_support.h"

namespace qm::test {
namespace {

class ControlsTest : public GuiTest {};

bool HasLabel(const QWidget* dlg, const QString& text) {
  for (const QLabel* l : dlg->findChildren<QLabel*>()) {
    if (l->text() == text) return true;
  }
  return false;
}

TEST_F(ControlsTest, MainWindowBeforeStartUp) {
  auto& w = MakeWindow();
  EXPECT_EQ(w.windowTitle(), "Quillmark v1.0.3");
  const std::vector<std::pair<int, const char*>> buttons = {
      {1006, "Import"}, {1051, "Print"},   {1008, "Active"},  {1005, "Update List"},
      {1007, "Separate"}, {1046, "Compose"}, {1058, "About"}, {1000, "Setting"},
      {1001, "Workflow"}};
  for (const auto& [id, caption] : buttons) {
    auto* b = Ctl<QPushButton>(&w, id);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->text(), caption) << id;
  }
  EXPECT_FALSE(Ctl<QPushButton>(&w, 1007)->isEnabled());
  EXPECT_FALSE(Ctl<QPushButton>(&w, 1046)->isEnabled());
  for (int id : {1000, 1001, 1060, 2, 1}) EXPECT_TRUE(Ctl<QPushButton>(&w, id)->isHidden()) << id;
  EXPECT_FALSE(Ctl<QPushButton>(&w, 1)->isEnabled());
  for (int id : {1044, 1047}) EXPECT_EQ(Ctl<QLabel>(&w, id)->text(), "None");
  for (int id : {1041, 1043}) {
    auto* bar = Ctl<QProgressBar>(&w, id);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(bar->maximum(), 100);
  }
  for (int id : {1002, 1003, 1004}) EXPECT_EQ(Ctl<QListWidget>(&w, id)->count(), 0);
  EXPECT_NE(dynamic_cast<gui::DropDownCombo*>(Ctl<QComboBox>(&w, 1062)), nullptr);
  EXPECT_TRUE(HasLabel(&w, "Preset :"));
  QStringList groups;
  for (const QGroupBox* g : w.findChildren<QGroupBox*>()) groups << g->title();
  EXPECT_TRUE(groups.contains("Image List") && groups.contains("Separation List") &&
              groups.contains("Prn List"));
  EXPECT_FALSE(w.SettingDlg()->isVisible());
  EXPECT_FALSE(w.WorkflowDlg()->isVisible());
  EXPECT_EQ(w.SettingDlg()->windowTitle(), "Setting");
  EXPECT_EQ(w.WorkflowDlg()->windowTitle(), "Workflow");
}

TEST_F(ControlsTest, SettingDialogHasAControlForEveryPresetKey) {
  auto& w = MakeWindow();
  auto* dlg = w.SettingDlg();
  for (const PresetKey& k : PresetKeys()) {
    QWidget* c = Ctl<QWidget>(dlg, k.controlId);
    ASSERT_NE(c, nullptr) << k.key;
    switch (k.kind) {
      case PresetKind::Edit: EXPECT_NE(qobject_cast<QLineEdit*>(c), nullptr) << k.key; break;
      case PresetKind::Flag: EXPECT_NE(qobject_cast<QCheckBox*>(c), nullptr) << k.key; break;
      case PresetKind::Combo: EXPECT_NE(qobject_cast<QComboBox*>(c), nullptr) << k.key; break;
    }
  }
  EXPECT_EQ(Ctl<QPushButton>(dlg, 1059)->text(), "Apply");
  EXPECT_EQ(Ctl<QPushButton>(dlg, 1038)->text(), "save as");
  EXPECT_EQ(Ctl<QCheckBox>(dlg, 1029)->text(), "Override Embeded ICC");
  EXPECT_EQ(Ctl<QCheckBox>(dlg, 1031)->text(), "Pure K");
  for (const char* label : {"Preset:", "Resolution:", "Printer Linearization :", "Used Ink:",
                            "Dots Used (largedot=100,middledot=10,smalldot=1):", "Dither Bits:",
                            "DitherMethod:", "Prn Channel Sequence (or color sequence):",
                            "Prn Header:", "Prn Suffix:"}) {
    EXPECT_TRUE(HasLabel(dlg, label)) << label;
  }
  EXPECT_NE(Ctl<QLineEdit>(dlg, 1010)->validator(), nullptr);
  EXPECT_NE(Ctl<QLineEdit>(dlg, 1011)->validator(), nullptr);
  EXPECT_EQ(Ctl<QLineEdit>(dlg, 1024)->validator(), nullptr);
  EXPECT_EQ(Ctl<QComboBox>(dlg, 1018)->count(), 0);  // empty until a preset is selected
}

TEST_F(ControlsTest, SettingCombosAfterAPresetSelection) {
  auto& w = StartWindow();
  auto* dlg = w.SettingDlg();
  auto items = [&](int id) {
    QStringList out;
    auto* c = Ctl<QComboBox>(dlg, id);
    for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
    return out;
  };
  EXPECT_EQ(items(1018), (QStringList{"1", "2"}));
  EXPECT_EQ(items(1023), (QStringList{"0", "1", "2", "3"}));
  EXPECT_EQ(items(1036), (QStringList{"HS"}));
  EXPECT_EQ(items(1037),
            (QStringList{"Absolute Colorimetric", "Colorimetric", "Perceptual", "Saturation"}));
  EXPECT_EQ(items(1025), (QStringList{"default_rgb.icc", "srgb.icc"}));
  EXPECT_EQ(Ctl<QComboBox>(dlg, 1025)->currentText(), "default_rgb.icc");
  EXPECT_EQ(Ctl<QComboBox>(dlg, 1037)->currentText(), "Perceptual");
  EXPECT_EQ(Ctl<QLineEdit>(dlg, 1010)->text(), "720");
  EXPECT_TRUE(Ctl<QCheckBox>(dlg, 1014)->isChecked());
  EXPECT_FALSE(Ctl<QCheckBox>(dlg, 1016)->isChecked());
}

TEST_F(ControlsTest, WorkflowDialogHasAControlForEveryKey) {
  auto& w = MakeWindow();
  auto* dlg = w.WorkflowDlg();
  for (const InitiationKey& k : InitiationKeys()) {
    QWidget* c = Ctl<QWidget>(dlg, k.controlId);
    ASSERT_NE(c, nullptr) << k.key;
    if (k.controlId == 1039) EXPECT_NE(qobject_cast<QComboBox*>(c), nullptr);
    else if (k.isFlag) EXPECT_NE(qobject_cast<QCheckBox*>(c), nullptr) << k.key;
    else EXPECT_NE(qobject_cast<QLineEdit*>(c), nullptr) << k.key;
  }
  const std::vector<std::pair<int, const char*>> captions = {
      {1058, "PDF for MultiColor ICC"}, {1060, "Optimized for PDF"},
      {1051, "Used ( Need more Memory)"}, {1059, "Used ( speed up large image)"},
      {1056, "Rotated 90d"}, {1057, "Anticlockwise"}, {1067, "Upward"}, {1050, "Enabled"},
      {1048, "Dithered"}, {1055, "Preserved"}, {1063, "Actived"}, {1065, "Launched"}};
  for (const auto& [id, caption] : captions) EXPECT_EQ(Ctl<QCheckBox>(dlg, id)->text(), caption);
  for (const char* label : {"Default Initial Preset :", "PDF Interpret Resolution :",
                            "Convert TIF/JPG  to :", "RGB  Progress will be :", "if  >", "inch",
                            "HotFolder will be  :", "Printer App Path  :"}) {
    EXPECT_TRUE(HasLabel(dlg, label)) << label;
  }
  EXPECT_EQ(Ctl<QPushButton>(dlg, 1040)->text(), "Save to Default");
  for (int id : {1062, 1064, 1061}) EXPECT_NE(Ctl<QLineEdit>(dlg, id)->validator(), nullptr);
  EXPECT_EQ(Ctl<QLineEdit>(dlg, 1066)->validator(), nullptr);
}

}  // namespace
}  // namespace qm::test
