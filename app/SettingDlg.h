// CSettingDlg: the preset editor, a view of SettingForm. Every control change
// is written into the form at once; its Apply button clicks the main window's
// hidden Apply button, so the Apply wrapper has one home.
#pragma once

#include <QDialog>

#include <filesystem>
#include <string_view>

#include "app/widgets.h"
#include "settings/setting_form.h"

class QAbstractButton;

namespace qm::gui {

class CSettingDlg : public QDialog {
  Q_OBJECT
 public:
  // The controls; each one's object name is its number.
  enum Id : int {
    kDialog = 132,
    kPreset = 1009,
    kXResolution = 1010,
    kYResolution = 1011,
    kUseICC = 1012,
    kSpotColorNames = 1013,
    kUseLc = 1014,
    kUseLm = 1015,
    kUseLk = 1016,
    kUseLlk = 1017,
    kBits = 1018,
    kLinearProfile = 1019,
    kUseDots = 1020,
    kMiddleDotDilution = 1021,
    kLargeDotDilution = 1022,
    kDitherMethod = 1023,
    kPrnSequence = 1024,
    kRgbProfile = 1025,
    kCmykProfile = 1026,
    kGrayProfile = 1027,
    kOutputProfile = 1028,
    kOverrideICC = 1029,
    kBlackPtComp = 1030,
    kKPreserve = 1031,
    kSuffix = 1032,
    kOutputColors = 1033,
    kMiddleDotStart = 1034,
    kLargeDotStart = 1035,
    kPrnHeader = 1036,
    kRenderIntent = 1037,
    kSaveAs = 1038,
    kApply = 1059,
  };
  // The control that shows the preset key `key` (PresetKeys()), 0 for none.
  static int ControlOf(std::string_view key);

  // `applyButton` is the main window's hidden button that runs the Apply wrapper.
  CSettingDlg(std::filesystem::path appDir, QAbstractButton* applyButton, QWidget* parent = nullptr);

  SettingForm& Form() { return form_; }
  // Shows the form in the controls (after the form changed outside them).
  void SyncFromForm();

  // Handlers of the message map.
  void OnDropDownPreset();
  void OnSelChangePreset();
  void OnDropDownRGB();
  void OnDropDownCMYK();
  void OnDropDownGray();
  void OnDropDownOutput();
  void OnApply();
  void OnSaveAs();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void reject() override;

 private:
  void BuildControls();
  void BindControls();
  void RefillProfile(const char* folder, int id);

  std::filesystem::path appDir_;
  QAbstractButton* applyButton_;
  SettingForm form_;
  BoxSink sink_{this};
};

}  // namespace qm::gui
