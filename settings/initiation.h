// InitiationSettings: the start-up defaults of Configuration/initiation.ini.
//
// Reading: exactly 100 lines; key before the first '=', value up to the
// second '='; keys case-sensitive; the last occurrence wins; flags change only
// on "1" or "0". Writing ("Save to Default"): 18 sections, CR LF, through a
// temporary file so a failed write keeps the old file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "settings/setting_kind.h"

namespace qm {

struct InitiationSettings {
  std::string dfPreset;
  bool dfTifToPdf = false;
  bool dfPDFRGBOpt = false;
  bool dfImageRt = false;
  bool dfRotatedOri = false;
  std::string dfRotLimit;
  bool dfImageUp = false;
  bool dfLargeImageMd = false;
  bool dfTurboMd = false;
  std::string dfVectorX;
  std::string dfVectorY;
  bool dfEnableSep = false;
  bool dfDitheredCk = false;
  bool dfPreserveCF = false;
  bool dfActiveHF = false;
  bool dfLaunchPAPP = false;
  std::string dfPAPPPath;
  bool dfMirror = false;  // flip every plane left to right after the turns
};

// One key of the file: its section header, its kind and field, and the
// Workflow dialog's control that shows it. The reader, the writer, --set, the
// Workflow dialog and the tests share it.
struct InitiationKey {
  const char* key;
  const char* section;  // header line of its section, as written
  SettingKind kind;
  bool InitiationSettings::*flag;         // a flag
  std::string InitiationSettings::*text;  // otherwise
  int control;                    // the Workflow dialog's control ID
  const char* caption = nullptr;  // the check box's caption
  const char* emptyAs = "";       // written for an empty text
  bool isFlag() const { return kind == SettingKind::kFlag; }
};
const std::vector<InitiationKey>& InitiationKeys();  // in file order
// The key named `key`, or nullptr.
const InitiationKey* FindInitiationKey(std::string_view key);
// The name of the text key of `field`, empty for none.
std::string InitiationKeyName(std::string InitiationSettings::*field);

// Path of the initiation file below `appDir`.
std::filesystem::path InitiationPath(const std::filesystem::path& appDir);

// Fills `settings` from the file; false when it cannot be opened (settings
// keep their values).
bool ReadInitiation(const std::filesystem::path& path, InitiationSettings& settings);

// Sets one key as the file would ("--set KEY=VALUE"). Returns false for an
// unknown key or a flag value other than "0" or "1".
bool SetInitiationValue(InitiationSettings& settings, std::string_view key, std::string_view value);

// The file's bytes as "Save to Default" writes them.
std::string FormatInitiation(const InitiationSettings& settings);

inline constexpr const char* kChoosePresetToSave = "Choose a preset file to save.";
inline constexpr const char* kSaved = "Saved!";
inline constexpr const char* kFailOpenInitiation = "Fail to open initiation.ini!";

class MessageSink;
// "Save to Default": needs a selected preset (`presetSelected`), then writes
// the file and shows "Saved!". Returns true when the file was written.
bool SaveToDefault(const std::filesystem::path& appDir, const InitiationSettings& settings,
                   bool presetSelected, MessageSink& sink);

}  // namespace qm
