// CWorkflowDlg: the live InitiationSettings. Every control change is written
// into the record at once, so a job sees it at its next use; "Save to
// Default" writes the record to the initiation file.
#pragma once

#include <QDialog>

#include <filesystem>
#include <functional>
#include <string_view>

#include "app/widgets.h"
#include "settings/initiation.h"
#include "settings/setting_form.h"

namespace qm::gui {

class CWorkflowDlg : public QDialog {
  Q_OBJECT
 public:
  // The controls; each one's object name is its number.
  enum Id : int {
    kDialog = 134,
    kPreset = 1039,
    kSaveToDefault = 1040,
    kDithered = 1048,
    kEnableSeparate = 1050,
    kTurboModel = 1051,
    kPreserved = 1055,
    kRotated = 1056,
    kAnticlockwise = 1057,
    kTifToPdf = 1058,
    kLargeModel = 1059,
    kRgbOptimized = 1060,
    kRotateLimit = 1061,
    kVectorX = 1062,
    kHotFolder = 1063,
    kVectorY = 1064,
    kLaunchPrinterApp = 1065,
    kPrinterAppPath = 1066,
    kUpward = 1067,
    kMirrored = 1068,
    kBrowsePrinterApp = 10661,  // the "..." beside the Printer App Path
  };
  // The control that shows the initiation key `key` (InitiationKeys()).
  static int ControlOf(std::string_view key);

  // `enableSeparate` enables or disables the main window's Separate and
  // Compose buttons.
  CWorkflowDlg(std::filesystem::path appDir, std::function<void(bool)> enableSeparate,
               QWidget* parent = nullptr);

  InitiationSettings& Init() { return init_; }
  ComboState& PresetCombo() { return preset_; }
  // Shows the record and the preset combo in the controls.
  void SyncFromInit();

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
  ComboState preset_;  // kPreset
  BoxSink sink_{this};
};

}  // namespace qm::gui
