// The start-up sequence of the main window, step by step. Each failure shows
// its message and leaves the state reached.
#include <QComboBox>
#include <QListWidget>
#include <QProgressBar>

#include "app/QuillmarkDlg.h"
#include "app/gui_hooks.h"
#include "app/message_map.h"
#include "platform/platform.h"
#include "app/SettingDlg.h"
#include "app/WorkflowDlg.h"
#include "settings/apply.h"
#include "settings/startup.h"

namespace qm::gui {

void CQuillmarkDlg::StartUp() {
  // 1. The tray icon with its short tip.
  if (TrayAvailable()) tray_->show();
  // Files that a killed hot-folder tick left in its batch folder go back to
  // their hot folder before anything else looks at the folders.
  RecoverBatches();

  // 2-4. The dialogs exist hidden; their preset combos are filled.
  SettingForm& form = settingDlg_->Form();
  RefillPresetCombo(form, appDir_);
  settingDlg_->SyncFromForm();
  ComboState& workflowPreset = workflowDlg_->PresetCombo();
  workflowPreset.entries = ListPresetFiles(appDir_);
  workflowPreset.selected = -1;
  workflowDlg_->SyncFromInit();

  // 5. The start-up defaults.
  InitiationSettings& init = workflowDlg_->Init();
  if (!ReadInitiation(InitiationPath(appDir_), init)) {
    workflowDlg_->SyncFromInit();
    return ShowMessage(kFailOpenInitiation, OpenFailure(InitiationPath(appDir_)));
  }
  // 6.
  EnableSeparate(init.dfEnableSep);
  // 7.
  workflowPreset.SelectText(init.dfPreset);
  workflowDlg_->SyncFromInit();
  // 8.
  if (!SelectPresetByName(form.preset, init.dfPreset)) {
    settingDlg_->SyncFromForm();
    return ShowMessage(kFailFindPreset, FindPresetFailure(appDir_, init.dfPreset));
  }
  // 9.
  BoxSink settingSink(settingDlg_, this);
  SelectPreset(form, appDir_, settingSink);
  settingDlg_->SyncFromForm();
  // 10.
  OnUpdateList();
  // 11.
  for (int id : {kSeparationProgress, kPrnProgress}) {
    auto* bar = Control<QProgressBar>(this, id);
    bar->setRange(0, 100);
    bar->setValue(0);
  }
  // 12.
  ApplyWrapper(form, appDir_, setting_, *this);
  // 13.
  if (init.dfLaunchPAPP) LaunchPrinterApp();
  // 14.
  if (init.dfActiveHF) {
    int row = -1;
    for (int i = 0; i < imageList_->count(); ++i) {
      if (EqualsNoCase(Bytes(imageList_->item(i)->text()), kStartupHotFolder)) {
        row = i;
        break;
      }
    }
    if (row < 0) {
      return ShowMessage(kFailActivateAtStart, std::string("no item named ") + kStartupHotFolder + " in " +
                                                   (appDir_ / "RipIn" / "CustomFiles").string());
    }
    SelectRow(imageList_, row);
    if (SelectedRow(imageList_) < 0) return ShowMessage(kChooseToActivate);
    hotTimer_.start(kHotFolderPeriodMs);
  }
}

void CQuillmarkDlg::LaunchPrinterApp() {
  StartProgram(std::filesystem::path(workflowDlg_->Init().dfPAPPPath));
}

}  // namespace qm::gui
