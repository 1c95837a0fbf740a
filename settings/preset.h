// Preset files: Configuration/NAME.cfg with the folder Configuration/NAME/.
//
// PresetValues holds one preset's raw texts; a field is absent when its key
// did not occur. Reading takes exactly 1000 lines with the key=value rules of
// the initiation file; writing gives the fixed 35-line layout, CR LF, the last
// line without a line end.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/setting_kind.h"

namespace qm {

struct PresetValues {
  std::optional<std::string> xResolution, yResolution, LinearProfile, UseLc, UseLm, UseLk, UseLlk,
      PdfSpotColorName, ICCOutputColors, UseDots, MiddleDotStart, LargeDotStart, MiddleDotDilution,
      LargeDotDilution, Bits, DitherMethod, UseICC, defaultRGBProfile, defaultCMYKProfile,
      defaultGrayProfile, defaultOutputProfile, RenderIntent, OverrideICC, BlackPtComp, KPreserve,
      PRNSequence, PRNHeader, Suffix;
};

struct SettingForm;
struct ComboState;

// One key of the preset file, in file order: its section, its kind, and the
// Setting dialog's control that shows it with the form field it edits (one of
// text, flag and choice, by kind).
struct PresetKey {
  const char* key;
  const char* section;  // the section it is written under
  SettingKind kind;
  std::optional<std::string> PresetValues::*field;
  int control = 0;                   // the Setting dialog's control ID
  const char* caption = nullptr;     // the check box's caption
  std::vector<std::string> entries;  // a choice's fixed entries, in list order
  // The value must be one of `entries` and selects the entry at its position
  // (otherwise a value selects the entry of equal text).
  bool onlyEntries = false;
  std::string SettingForm::*text = nullptr;
  bool SettingForm::*flag = nullptr;
  ComboState SettingForm::*choice = nullptr;
};
const std::vector<PresetKey>& PresetKeys();

// The key named `key`, or nullptr.
const PresetKey* FindPresetKey(std::string_view key);
// The key of `field`, or nullptr; its name (empty for none).
const PresetKey* PresetKeyOf(std::optional<std::string> PresetValues::*field);
std::string PresetKeyName(std::optional<std::string> PresetValues::*field);
// Sets one field by its key; false for an unknown key.
bool SetPresetValue(PresetValues& values, std::string_view key, std::string_view value);

// Reads a preset file; nullopt when it cannot be opened.
std::optional<PresetValues> ReadPreset(const std::filesystem::path& path);

// The file's bytes; absent fields are written empty.
std::string FormatPreset(const PresetValues& values);

}  // namespace qm
