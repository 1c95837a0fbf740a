// The Workflow dialog's commands: "Enabled", the browse button and "Save to
// Default" (what it writes is what a restart shows: ControlsTest).
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "app/WorkflowDlg.h"
#include "settings/initiation.h"
#include "tests/gui/gui_test_support.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;
using F = gui::CWorkflowDlg;

class WorkflowTest : public GuiTest {};

TEST_F(WorkflowTest, EnabledTogglesSeparateAndComposeAndBrowseFillsThePath) {
  StartWindow();
  for (bool on : {false, true}) {
    Ctl<QCheckBox>(window->WorkflowDlg(), F::kEnableSeparate)->click();
    EXPECT_EQ(Ctl<QPushButton>(window.get(), gui::CQuillmarkDlg::kSeparate)->isEnabled(), on);
    EXPECT_EQ(Ctl<QPushButton>(window.get(), gui::CQuillmarkDlg::kCompose)->isEnabled(), on);
  }
  saveAnswers.push_back("/usr/bin/printer-app");
  Ctl<QPushButton>(window->WorkflowDlg(), F::kBrowsePrinterApp)->click();
  EXPECT_EQ(window->WorkflowDlg()->Init().dfPAPPPath, "/usr/bin/printer-app");
}

// Nothing is written without a preset chosen in the dialog's combo; then the
// dialog's settings are written with the combo's preset.
TEST_F(WorkflowTest, SaveToDefaultWritesTheDialogsSettings) {
  std::filesystem::copy(app / "Configuration/Default.cfg", app / "Configuration/Second.cfg");
  StartWindow();
  auto* dlg = window->WorkflowDlg();
  const std::string ini = ReadFileBytes(app / "Configuration/initiation.ini");
  Ctl<QCheckBox>(dlg, F::kTurboModel)->click();
  dlg->OnDropDownPreset();
  Ctl<QPushButton>(dlg, F::kSaveToDefault)->click();
  EXPECT_EQ(messages, Strings{"Choose a preset file to save."});
  EXPECT_EQ(ReadFileBytes(app / "Configuration/initiation.ini"), ini);
  auto* combo = Ctl<QComboBox>(dlg, F::kPreset);
  combo->setCurrentIndex(1);
  emit combo->activated(1);
  Ctl<QPushButton>(dlg, F::kSaveToDefault)->click();
  EXPECT_EQ(messages.back(), "Saved!");
  InitiationSettings expected = dlg->Init();
  EXPECT_TRUE(expected.dfTurboMd);
  expected.dfPreset = "Second.cfg";
  EXPECT_EQ(FirstDifference(ReadFileBytes(app / "Configuration/initiation.ini"), FormatInitiation(expected)), "");
}

}  // namespace
}  // namespace qm::test
