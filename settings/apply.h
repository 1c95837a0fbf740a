// Apply: validates the Setting dialog's state into the ActiveSetting, step by
// step, reading the linearisation file into per-slot curves.
#pragma once

#include <filesystem>
#include <string>

#include "platform/status.h"
#include "inks/ink_model.h"
#include "settings/active_setting.h"
#include "settings/setting_form.h"

namespace qm {

class MessageSink;

// Ok on success; a failure names the value that failed validation or the
// linearisation file that could not be read, and leaves the fields assigned
// so far with their new values. Shows "Fail to  read prn color sequence!"
// for an empty sequence (the only message of its own).
Status Apply(const SettingForm& form, const std::filesystem::path& appDir, ActiveSetting& setting,
           MessageSink& sink);

// The wrapper used by every caller: Apply, then settingApplied := 1 or 0 with
// "Fail to Apply the Preset file!" and Apply's cause.
bool ApplyWrapper(const SettingForm& form, const std::filesystem::path& appDir,
                  ActiveSetting& setting, MessageSink& sink);


// The linearisation file of the applied preset.
std::filesystem::path LinearisationPath(const std::filesystem::path& appDir,
                                        const ActiveSetting& setting);

inline constexpr const char* kFailReadSequence = "Fail to  read prn color sequence!";
inline constexpr const char* kFailApply = "Fail to Apply the Preset file!";

}  // namespace qm
