#include "settings/startup.h"

#include "platform/message_sink.h"
#include "platform/platform.h"
#include "settings/apply.h"
#include "settings/underbase.h"

namespace qm {

bool SelectPresetByName(ComboState& combo, const std::string& name) {
  combo.SelectText(name);
  return combo.selected >= 0 && !name.empty();
}

std::string FindPresetFailure(const std::filesystem::path& appDir, const std::string& wanted) {
  const std::filesystem::path folder = appDir / "Configuration";
  if (wanted.empty()) return "dfPreset is empty or missing in " + InitiationPath(appDir).string();
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) return "the preset folder " + folder.string() + " is missing";
  return "no preset file named " + wanted + " in " + folder.string();
}

bool RunHeadlessStartup(const std::filesystem::path& appDir, Session& session,
                        const std::vector<std::pair<std::string, std::string>>& overrides,
                        const std::optional<std::string>& presetOverride, MessageSink& sink,
                        const std::vector<std::pair<std::string, std::string>>& presetOverrides) {
  session.setting.settingApplied = 0;
  if (!ReadInitiation(InitiationPath(appDir), session.init)) {
    sink.ShowMessage(kFailOpenInitiation, OpenFailure(InitiationPath(appDir)));
    for (const auto& [key, value] : overrides) SetInitiationValue(session.init, key, value);
    return false;
  }
  for (const auto& [key, value] : overrides) SetInitiationValue(session.init, key, value);

  RefillPresetCombo(session.form, appDir);
  const std::string wanted = presetOverride.value_or(session.init.dfPreset);
  if (!SelectPresetByName(session.form.preset, wanted)) {
    sink.ShowMessage(kFailFindPreset, FindPresetFailure(appDir, wanted));
    return false;
  }
  SelectPreset(session.form, appDir, sink);
  if (!presetOverrides.empty()) {
    PresetValues values;
    for (const auto& [key, value] : presetOverrides) SetPresetValue(values, key, value);
    session.form.ApplyPresetValues(values);
  }
  if (!ApplyWrapper(session.form, appDir, session.setting, sink)) return false;
  // Underbase keys of --set come after the preset folder's underbase.txt;
  // the command line checked their values.
  for (const auto& [key, value] : presetOverrides) {
    if (IsUnderbaseKey(key)) (void)SetUnderbaseValue(session.setting.underbase, key, value);
  }
  return true;
}

}  // namespace qm
