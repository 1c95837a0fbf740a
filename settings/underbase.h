// UnderbaseSettings: the white underbase of a preset, from the optional file
// "underbase.txt" in the preset's folder (Configuration/<preset>/underbase.txt;
// the preset file itself is unchanged), and from --set for one run.
//
// The file: 8-bit text, KEY=VALUE lines read like the preset file (first 100
// lines, keys case-sensitive, words of a value in any case, unknown keys
// ignored). A bad value is a failure that names the file, the line and why.
//   Underbase=off|artwork|generate|both
//   UnderbaseInk=S0 .. S5     the spot that carries white
//   Choke=2                   pixels (printer resolution), whole, 0 .. 64
//   Density=100               percent of full tone of the generated white
//   UnderBlack=100            percent of that white kept under pure black
//   Knockout=none|white
//   KnockoutTolerance=5       percent
// Without the file every key has the default shown (Underbase off).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "inks/ink_model.h"
#include "platform/status.h"
#include "settings/setting_kind.h"

namespace qm {

enum class UnderbaseMode { kOff, kArtwork, kGenerate, kBoth };

struct UnderbaseSettings {
  UnderbaseMode mode = UnderbaseMode::kOff;
  int inkSpot = 0;  // UnderbaseInk S<inkSpot>
  int choke = 2;
  double density = 100.0;
  double underBlack = 100.0;
  bool knockoutWhite = false;  // Knockout=white
  double knockoutTolerance = 5.0;

  // Whether a white is generated (generate or both).
  bool Generates() const { return mode == UnderbaseMode::kGenerate || mode == UnderbaseMode::kBoth; }
  // The spot code the white prints as.
  std::string InkCode() const { return SpotInkCode(inkSpot); }
};

inline constexpr const char* kUnderbaseFile = "underbase.txt";
inline constexpr int kMaxChoke = 64;

// One key of the file, in the order above. A choice's words are its entries,
// in the order of its values.
enum class UnderbaseField { kMode, kInk, kChoke, kDensity, kUnderBlack, kKnockout, kKnockoutTolerance };
struct UnderbaseKey {
  const char* key;
  SettingKind kind;
  UnderbaseField field;
  std::vector<std::string> entries;
};
const std::vector<UnderbaseKey>& UnderbaseKeys();

// Whether `key` is one of the keys above.
bool IsUnderbaseKey(std::string_view key);

// Sets one key; a failure names the value and what the key takes ("Choke -1:
// Choke takes a whole number of pixels from 0 to 64"). An unknown key fails.
Status SetUnderbaseValue(UnderbaseSettings& settings, std::string_view key, std::string_view value);

// Reads the file into `settings`; a missing file keeps the defaults and
// succeeds. A failure names the file and the line.
Status ReadUnderbaseSettings(const std::filesystem::path& file, UnderbaseSettings& settings);

// The file of the preset folder `presetFolder` (Configuration/<preset>),
// names matched case-insensitively.
std::filesystem::path UnderbaseFileOf(const std::filesystem::path& presetFolder);

}  // namespace qm
