// CWorkflowDlg: the live InitiationSettings. Every control change is written
// into the record at once, so a job sees it at its next use; "Save to
// Default" writes the record to the initiation file.
#pragma once

#include <QDialog>

#include <filesystem>
#include <functional>

#include "app/widgets.h"
#include "settings/initiation.h"
#include "settings/setting_form.h"

namespace qm::gui {

// The browse button of the Printer App Path edit (part of control 1066).
inline constexpr int kBrowseButtonId = 10661;

class CWorkflowDlg : public QDialog {
  Q_OBJECT
 public:
  // `enableSeparate` enables or disables the main window's Separate and
  // Compose buttons.
  CWorkflowDlg(std::filesystem::path appDir, std::function<void(bool)> enableSeparate,
               QWidget* parent = nullptr);

  InitiationSettings& Init() { return init_; }
  ComboState& PresetCombo() { return preset_; }
  // Shows the record and the preset combo in the controls.
  void SyncFromInit();
  // Sets a check box and its field, as a click would (without its command).
  void SetCheck(int id, bool on);

  // Handlers of the message map.
  void OnDropDownPreset();
  void OnSelChangePreset();
  void OnEnableSeparate();
  void OnSaveToDefault();
  void OnBrowsePrinterApp();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildControls();

  std::filesystem::path appDir_;
  std::function<void(bool)> enableSeparate_;
  InitiationSettings init_;
  ComboState preset_;  // 1039
  BoxSink sink_{this};
};

}  // namespace qm::gui
