// CSettingDlg: the preset editor, a view of SettingForm. Every control change
// is written into the form at once; Apply runs through the main window's
// hidden relay button, so the Apply wrapper has one home.
#pragma once

#include <QDialog>

#include <filesystem>

#include "app/widgets.h"
#include "settings/setting_form.h"

class QAbstractButton;

namespace qm::gui {

class CSettingDlg : public QDialog {
  Q_OBJECT
 public:
  // `relay` is the main window's hidden button 1060 (the Apply wrapper).
  CSettingDlg(std::filesystem::path appDir, QAbstractButton* relay, QWidget* parent = nullptr);

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
  QAbstractButton* relay_;
  SettingForm form_;
  BoxSink sink_{this};
};

}  // namespace qm::gui
