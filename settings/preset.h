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

namespace qm {

struct PresetValues {
  std::optional<std::string> xResolution, yResolution, LinearProfile, UseLc, UseLm, UseLk, UseLlk,
      PdfSpotColorName, ICCOutputColors, UseDots, MiddleDotStart, LargeDotStart, MiddleDotDilution,
      LargeDotDilution, Bits, DitherMethod, UseICC, defaultRGBProfile, defaultCMYKProfile,
      defaultGrayProfile, defaultOutputProfile, RenderIntent, OverrideICC, BlackPtComp, KPreserve,
      PRNSequence, PRNHeader, Suffix;
};

enum class PresetKind { Edit, Flag, Combo };

// One key of the preset file, in file order, with its section and the kind of
// control that shows it.
struct PresetKey {
  const char* key;
  const char* section;  // the section it is written under
  PresetKind kind;
  std::optional<std::string> PresetValues::*field;
};
const std::vector<PresetKey>& PresetKeys();

// The key named `key`, or nullptr.
const PresetKey* FindPresetKey(std::string_view key);
// Sets one field by its key; false for an unknown key.
bool SetPresetValue(PresetValues& values, std::string_view key, std::string_view value);

// Reads a preset file; nullopt when it cannot be opened.
std::optional<PresetValues> ReadPreset(const std::filesystem::path& path);

// The file's bytes; absent fields are written empty.
std::string FormatPreset(const PresetValues& values);

}  // namespace qm
