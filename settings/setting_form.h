// SettingForm: the state of the Setting dialog's controls. Preset selection
// fills it by the rules for presets, Apply reads it into the ActiveSetting,
// "save as" writes it. The Qt dialog is a view of it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "settings/preset.h"

namespace qm {

class MessageSink;

struct ComboState {
  std::vector<std::string> entries;  // in list order
  int selected = -1;
  std::string Text() const;  // the selected entry, empty when none
  // Selects the entry equal to `text` (exact, not case-sensitive), or none.
  void SelectText(const std::string& text);
  void AddIfMissing(const std::string& entry);
};

struct SettingForm {
  ComboState preset;  // preset file names with ".cfg"
  std::string xResolution, yResolution, LinearProfile, PdfSpotColorName, ICCOutputColors, UseDots,
      MiddleDotStart, LargeDotStart, MiddleDotDilution, LargeDotDilution, PRNSequence, Suffix;
  bool UseLc = false, UseLm = false, UseLk = false, UseLlk = false;
  bool UseICC = false, OverrideICC = false, BlackPtComp = false, KPreserve = false;
  ComboState Bits, DitherMethod, RGBProfile, CMYKProfile, GrayProfile, OutputProfile, RenderIntent,
      PRNHeader;

  // The form's values as a preset (every field present).
  PresetValues ToPresetValues() const;
  // Puts the present fields into the controls by the selection rules.
  void ApplyPresetValues(const PresetValues& values);
};

// Names of the files matching Configuration/*.cfg, in listing order.
std::vector<std::string> ListPresetFiles(const std::filesystem::path& appDir);

// Refills the preset combo (its selection is cleared).
void RefillPresetCombo(SettingForm& form, const std::filesystem::path& appDir);

// Preset selection: refill the profile combos from the selected preset's
// folders, add the fixed entries, read the file and put its values into the
// controls. Shows "Fail to open preset file!" when the file cannot be opened.
// Does nothing without a selection. Returns true when the file was read.
bool SelectPreset(SettingForm& form, const std::filesystem::path& appDir, MessageSink& sink);

// Refills one profile combo from the selected preset's folder ("RGB", "CMYK",
// "Gray" or "Output"); nothing without a selected preset.
void RefillProfileCombo(SettingForm& form, const std::filesystem::path& appDir, const char* folder);

// "save as" to `chosenPath` (the path picked in the file dialog). Shows the
// system's messages. Returns true on "Saved!".
bool SavePresetAs(SettingForm& form, const std::filesystem::path& appDir,
                  const std::filesystem::path& chosenPath, MessageSink& sink);

// The ".cfg" rule: the extension of the file name replaced by ".cfg", or
// ".cfg" appended when the name has no '.'.
std::filesystem::path PresetTargetPath(const std::filesystem::path& chosenPath);

inline constexpr const char* kFailOpenPreset = "Fail to open preset file!";
inline constexpr const char* kChoosePresetToSaveAs = "Choose a preset file to save as.";
inline constexpr const char* kFailSavePreset = "Fail to save preset file!";
inline constexpr const char* kFailSaveAsPreset = "Fail to save as the preset file!";

}  // namespace qm
