#include "settings/startup.h"

#include "platform/message_sink.h"
#include "platform/platform.h"
#include "settings/apply.h"

namespace qm {

bool SelectPresetByName(ComboState& combo, const std::string& name) {
  combo.SelectText(name);
  return combo.selected >= 0 && !name.empty();
}

bool RunHeadlessStartup(const std::filesystem::path& appDir, Session& session,
                        const std::vector<std::pair<std::string, std::string>>& overrides,
                        const std::optional<std::string>& presetOverride, MessageSink& sink) {
  session.setting.settingApplied = 0;
  if (!ReadInitiation(InitiationPath(appDir), session.init)) {
    sink.ShowMessage(kFailOpenInitiation);
    for (const auto& [key, value] : overrides) SetInitiationValue(session.init, key, value);
    return false;
  }
  for (const auto& [key, value] : overrides) SetInitiationValue(session.init, key, value);

  RefillPresetCombo(session.form, appDir);
  const std::string wanted = presetOverride.value_or(session.init.dfPreset);
  if (!SelectPresetByName(session.form.preset, wanted)) {
    sink.ShowMessage(kFailFindPreset);
    return false;
  }
  SelectPreset(session.form, appDir, sink);
  return ApplyWrapper(session.form, appDir, session.setting, sink);
}

}  // namespace qm
