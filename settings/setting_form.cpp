#include "settings/setting_form.h"

#include "platform/message_sink.h"
#include "platform/platform.h"
#include "settings/initiation.h"

namespace qm {

std::string ComboState::Text() const {
  return (selected >= 0 && selected < static_cast<int>(entries.size())) ? entries[selected]
                                                                         : std::string();
}

void ComboState::SelectText(const std::string& text) {
  selected = -1;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (EqualsNoCase(entries[i], text)) {
      selected = static_cast<int>(i);
      return;
    }
  }
}

void ComboState::AddIfMissing(const std::string& entry) {
  for (const std::string& e : entries) {
    if (e == entry) return;
  }
  entries.push_back(entry);
}

namespace {
// A choice of fixed entries only (Bits, DitherMethod): the value selects the
// entry at its position; another value leaves the selection.
void SelectByPosition(ComboState& combo, const std::optional<std::string>& value,
                      const std::vector<std::string>& valid) {
  if (!value) return;
  for (std::size_t i = 0; i < valid.size(); ++i) {
    if (*value == valid[i]) {
      combo.selected = static_cast<int>(i);
      return;
    }
  }
}

std::filesystem::path PresetFolder(const std::filesystem::path& appDir, const std::string& presetFile) {
  const std::size_t dot = presetFile.rfind('.');
  return appDir / "Configuration" / presetFile.substr(0, dot);
}
}  // namespace

PresetValues SettingForm::ToPresetValues() const {
  PresetValues v;
  for (const PresetKey& k : PresetKeys()) {
    if (k.text) v.*k.field = this->*k.text;
    else if (k.flag) v.*k.field = (this->*k.flag) ? "1" : "0";
    else v.*k.field = (this->*k.choice).Text();
  }
  return v;
}

void SettingForm::ApplyPresetValues(const PresetValues& values) {
  for (const PresetKey& k : PresetKeys()) {
    const std::optional<std::string>& value = values.*k.field;
    if (k.text) {
      if (value) this->*k.text = *value;
    } else if (k.flag) {
      if (value == "1") this->*k.flag = true;
      else if (value == "0") this->*k.flag = false;
    } else if (k.onlyEntries) {
      SelectByPosition(this->*k.choice, value, k.entries);
    } else if (value) {
      (this->*k.choice).SelectText(*value);
    }
  }
}

std::vector<std::string> ListPresetFiles(const std::filesystem::path& appDir) {
  return ListFolder(appDir / "Configuration", "*.cfg", EntryKind::Files);
}

void RefillPresetCombo(SettingForm& form, const std::filesystem::path& appDir) {
  form.preset.entries = ListPresetFiles(appDir);
  form.preset.selected = -1;
}

void RefillProfileCombo(SettingForm& form, const std::filesystem::path& appDir, const char* folder) {
  if (form.preset.selected < 0) return;
  ComboState* combo = nullptr;
  const std::string f = folder;
  if (f == "RGB") combo = &form.RGBProfile;
  else if (f == "CMYK") combo = &form.CMYKProfile;
  else if (f == "Gray") combo = &form.GrayProfile;
  else if (f == "Output") combo = &form.OutputProfile;
  if (!combo) return;
  combo->entries = ListFolder(PresetFolder(appDir, form.preset.Text()) / folder, "*.ic?",
                              EntryKind::Files);
  combo->selected = -1;
}

bool SelectPreset(SettingForm& form, const std::filesystem::path& appDir, MessageSink& sink) {
  if (form.preset.selected < 0) return false;
  for (const char* folder : {"RGB", "CMYK", "Gray", "Output"}) RefillProfileCombo(form, appDir, folder);
  for (const PresetKey& k : PresetKeys()) {
    for (const std::string& e : k.entries) (form.*k.choice).AddIfMissing(e);
  }
  const std::filesystem::path file = appDir / "Configuration" / form.preset.Text();
  const auto values = ReadPreset(file);
  if (!values) {
    sink.ShowMessage(kFailOpenPreset, OpenFailure(file));
    return false;
  }
  form.ApplyPresetValues(*values);
  return true;
}

std::filesystem::path PresetTargetPath(const std::filesystem::path& chosenPath) {
  // The '.' must lie in the file name: a folder with a '.' keeps its name.
  std::filesystem::path target = chosenPath;
  const std::string name = chosenPath.filename().string();
  const std::size_t dot = name.rfind('.');
  target.replace_filename((dot == std::string::npos ? name : name.substr(0, dot)) + ".cfg");
  return target;
}

bool SavePresetAs(SettingForm& form, const std::filesystem::path& appDir,
                  const std::filesystem::path& chosenPath, MessageSink& sink) {
  if (form.preset.selected < 0) {
    sink.ShowMessage(kChoosePresetToSaveAs);
    return false;
  }
  const std::filesystem::path target = PresetTargetPath(chosenPath);
  std::filesystem::path targetFolder = target;
  targetFolder.replace_extension();
  const std::filesystem::path source = PresetFolder(appDir, form.preset.Text());
  if (!CopyFolder(source, targetFolder)) {
    std::error_code ec;
    sink.ShowMessage(kFailSavePreset, std::filesystem::is_directory(source, ec)
                                          ? "cannot copy " + source.string() + " to " + targetFolder.string()
                                          : "the preset folder " + source.string() + " is missing");
    return false;
  }
  // Through a temporary file and a rename: a failed write keeps an older
  // file of that name instead of leaving it truncated.
  if (!WriteFileAtomically(target, FormatPreset(form.ToPresetValues()))) {
    sink.ShowMessage(kFailSaveAsPreset, "cannot write " + target.string());
    return false;
  }
  std::string configuration = (appDir / "Configuration").string();
  if (target.parent_path().string() == configuration) RefillPresetCombo(form, appDir);
  sink.ShowMessage(kSaved);
  return true;
}

}  // namespace qm
