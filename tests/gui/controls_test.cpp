// The controls of every dialog: every preset and initiation key has its
// control of the right kind, which shows the value in force and writes a
// change back at once; captions and the main window's initial states.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "app/SettingDlg.h"
#include "app/WorkflowDlg.h"
#include "settings/initiation.h"
#include "settings/preset.h"
#include "tests/gui/gui_test_support.h"

namespace qm::test {
namespace {

using W = gui::CQuillmarkDlg;
using S = gui::CSettingDlg;
using F = gui::CWorkflowDlg;
using Captions = std::vector<std::pair<int, const char*>>;

class ControlsTest : public GuiTest {
 protected:
  void ExpectCaptions(const QWidget* dlg, const Captions& captions) {
    for (const auto& [id, caption] : captions) EXPECT_EQ(Ctl<QAbstractButton>(dlg, id)->text(), caption) << id;
  }
};

TEST_F(ControlsTest, MainWindowBeforeStartUp) {
  auto& w = MakeWindow();
  EXPECT_EQ(w.windowTitle(), "Quillmark v1.0.3");
  ExpectCaptions(&w, {{W::kImport, "Import"}, {W::kPrint, "Print"}, {W::kActive, "Active"},
                      {W::kUpdateList, "Update List"}, {W::kSeparate, "Separate"}, {W::kCompose, "Compose"},
                      {W::kAbout, "About"}, {W::kSetting, "Setting"}, {W::kWorkflow, "Workflow"}});
  for (int id : {W::kSeparate, W::kCompose, W::kOk}) EXPECT_FALSE(Ctl<QPushButton>(&w, id)->isEnabled()) << id;
  for (int id : {W::kSetting, W::kWorkflow, W::kApplySetting, W::kCancel, W::kOk}) {
    EXPECT_TRUE(Ctl<QPushButton>(&w, id)->isHidden()) << id;
  }
  for (int id : {W::kSeparationStatus, W::kPrnStatus}) EXPECT_EQ(Ctl<QLabel>(&w, id)->text(), "None");
  for (int id : {W::kSeparationProgress, W::kPrnProgress}) EXPECT_EQ(Ctl<QProgressBar>(&w, id)->maximum(), 100);
  for (int id : {W::kImageList, W::kSeparationList, W::kPrnList}) EXPECT_EQ(Ctl<QListWidget>(&w, id)->count(), 0);
  EXPECT_NE(dynamic_cast<gui::DropDownCombo*>(Ctl<QComboBox>(&w, W::kPreset)), nullptr);
  EXPECT_EQ(w.SettingDlg()->windowTitle() + w.WorkflowDlg()->windowTitle(), "SettingWorkflow");
  EXPECT_FALSE(w.SettingDlg()->isVisible() || w.WorkflowDlg()->isVisible());
}

// After the start-up selected Default.cfg, each key's control shows the
// file's value; a change in the control reaches the form at once.
TEST_F(ControlsTest, SettingDialogHasAWiredControlForEveryPresetKey) {
  S* dlg = StartWindow().SettingDlg();
  const auto file = ReadPreset(app / "Configuration/Default.cfg");
  for (const PresetKey& k : PresetKeys()) {
    const std::string shown = (*file.*k.field).value_or("");
    QWidget* c = Ctl<QWidget>(dlg, S::ControlOf(k.key));
    ASSERT_NE(c, nullptr) << k.key;
    std::string expected = "12";
    if (auto* e = qobject_cast<QLineEdit*>(c); e && (k.kind == SettingKind::kText || k.kind == SettingKind::kNumber)) {
      EXPECT_EQ(e->text().toStdString(), shown) << k.key;
      e->setText("12");
    } else if (auto* b = qobject_cast<QCheckBox*>(c); b && k.kind == SettingKind::kFlag) {
      EXPECT_EQ(b->isChecked(), shown == "1") << k.key;
      b->click();
      expected = shown == "1" ? "0" : "1";
    } else if (auto* box = qobject_cast<QComboBox*>(c); box && k.kind == SettingKind::kChoice) {
      EXPECT_EQ(box->currentText().toStdString(), shown) << k.key;
      box->setCurrentIndex((box->currentIndex() + 1) % box->count());
      emit box->activated(box->currentIndex());
      expected = box->currentText().toStdString();
    } else {
      ADD_FAILURE() << k.key << ": a control of the wrong kind";
    }
    EXPECT_EQ(*(dlg->Form().ToPresetValues().*k.field), expected) << k.key;
  }
  ExpectCaptions(dlg, {{S::kApply, "Apply"}, {S::kSaveAs, "save as"}, {S::kUseLc, "Lc"}, {S::kUseICC, "Use ICC"},
                       {S::kOverrideICC, "Override Embeded ICC"}, {S::kBlackPtComp, "Black Compensation"},
                       {S::kKPreserve, "Pure K"}});
  for (int id : {S::kXResolution, S::kYResolution}) EXPECT_NE(Ctl<QLineEdit>(dlg, id)->validator(), nullptr);
  EXPECT_EQ(Ctl<QLineEdit>(dlg, S::kPrnSequence)->validator(), nullptr);
}

TEST_F(ControlsTest, WorkflowDialogHasAWiredControlForEveryInitiationKey) {
  F* dlg = StartWindow().WorkflowDlg();
  const InitiationSettings& init = dlg->Init();
  for (const InitiationKey& k : InitiationKeys()) {
    QWidget* c = Ctl<QWidget>(dlg, F::ControlOf(k.key));
    ASSERT_NE(c, nullptr) << k.key;
    if (auto* box = qobject_cast<QCheckBox*>(c); box && k.isFlag()) {
      const bool before = init.*k.flag;
      EXPECT_EQ(box->isChecked(), before) << k.key;
      box->click();
      EXPECT_EQ(init.*k.flag, !before) << k.key;
    } else if (auto* edit = qobject_cast<QLineEdit*>(c); edit && !k.isFlag()) {
      EXPECT_EQ(edit->text().toStdString(), init.*k.text) << k.key;
      edit->setText("12");
      EXPECT_EQ(init.*k.text, "12") << k.key;
    } else {
      EXPECT_TRUE(qobject_cast<QComboBox*>(c) && F::ControlOf(k.key) == F::kPreset) << k.key;
    }
  }
  ExpectCaptions(dlg, {{F::kTifToPdf, "PDF for MultiColor ICC"}, {F::kRgbOptimized, "Optimized for PDF"},
                       {F::kTurboModel, "Used ( Need more Memory)"}, {F::kLargeModel, "Used ( speed up large image)"},
                       {F::kRotated, "Rotated 90d"}, {F::kAnticlockwise, "Anticlockwise"}, {F::kUpward, "Upward"},
                       {F::kMirrored, "Mirrored"},
                       {F::kEnableSeparate, "Enabled"}, {F::kDithered, "Dithered"}, {F::kPreserved, "Preserved"},
                       {F::kHotFolder, "Actived"}, {F::kLaunchPrinterApp, "Launched"},
                       {F::kSaveToDefault, "Save to Default"}});
  for (int id : {F::kVectorX, F::kVectorY, F::kRotateLimit}) EXPECT_NE(Ctl<QLineEdit>(dlg, id)->validator(), nullptr);
  EXPECT_EQ(Ctl<QLineEdit>(dlg, F::kPrinterAppPath)->validator(), nullptr);
}

// "Mirrored" has its own row, labelled, right below the print direction's.
TEST_F(ControlsTest, WorkflowMirrorRowIsBelowThePrintDirection) {
  F* dlg = StartWindow().WorkflowDlg();
  auto rowOf = [](QWidget* w) {
    auto* grid = qobject_cast<QGridLayout*>(w->parentWidget()->layout());
    if (!grid) return std::make_pair(-1, -1);
    int row = -1, column = -1, rows = 0, columns = 0;
    grid->getItemPosition(grid->indexOf(w), &row, &column, &rows, &columns);
    return std::make_pair(row, column);
  };
  QLabel* direction = nullptr;
  QLabel* mirror = nullptr;
  for (QLabel* label : dlg->findChildren<QLabel*>()) {
    if (label->text() == "Print Direction will be :") direction = label;
    if (label->text() == "Print Mirror will be :") mirror = label;
  }
  ASSERT_TRUE(direction && mirror);
  QWidget* upward = Ctl<QWidget>(dlg, F::kUpward);
  QWidget* box = Ctl<QWidget>(dlg, F::kMirrored);
  ASSERT_EQ(box->parentWidget(), upward->parentWidget());
  EXPECT_EQ(rowOf(mirror).first, rowOf(direction).first + 1);
  EXPECT_EQ(rowOf(box), std::make_pair(rowOf(mirror).first, rowOf(upward).second));
}

}  // namespace
}  // namespace qm::test
