// The start-up steps that need no window: read the initiation file, choose
// the default preset, select it and apply it. The GUI runs its own sequence
// around the same calls; the command-line program runs exactly these.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/active_setting.h"
#include "settings/initiation.h"
#include "settings/setting_form.h"

namespace qm {

class MessageSink;

struct Session {
  InitiationSettings init;
  SettingForm form;
  ActiveSetting setting;
};

inline constexpr const char* kFailFindPreset = "Fail to find the right preset file!";

// Reads the initiation file, applies `overrides` (KEY=VALUE pairs already
// checked), selects `presetOverride` or dfPreset (case-insensitive), puts
// `presetOverrides` (preset keys, for this run only: the file is not
// written) over the preset's values and runs the Apply wrapper. Each failure
// shows its message with its cause and leaves the state reached, as the
// window does. Returns settingApplied.
bool RunHeadlessStartup(const std::filesystem::path& appDir, Session& session,
                        const std::vector<std::pair<std::string, std::string>>& overrides,
                        const std::optional<std::string>& presetOverride, MessageSink& sink,
                        const std::vector<std::pair<std::string, std::string>>& presetOverrides = {});

// The cause of "Fail to find the right preset file!" for the name `wanted`.
std::string FindPresetFailure(const std::filesystem::path& appDir, const std::string& wanted);

// Selects in `combo` the entry equal to `name` (exact, not case-sensitive);
// false when none equals it.
bool SelectPresetByName(ComboState& combo, const std::string& name);

}  // namespace qm
