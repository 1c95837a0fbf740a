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
struct FixedCombo {
  ComboState SettingForm::*combo;
  std::vector<std::string> entries;
};

const std::vector<FixedCombo>& FixedCombos() {
  static const std::vector<FixedCombo> combos = {
      {&SettingForm::Bits, {"1", "2"}},
      {&SettingForm::DitherMethod, {"0", "1", "2", "3"}},
      {&SettingForm::PRNHeader, {"HS"}},
      {&SettingForm::RenderIntent,
       {"Absolute Colorimetric", "Colorimetric", "Perceptual", "Saturation"}},
  };
  return combos;
}

struct EditField {
  std::string SettingForm::*edit;
  std::optional<std::string> PresetValues::*value;
};
const std::vector<EditField>& EditFields() {
  using F = SettingForm;
  using P = PresetValues;
  static const std::vector<EditField> fields = {
      {&F::xResolution, &P::xResolution},
      {&F::yResolution, &P::yResolution},
      {&F::LinearProfile, &P::LinearProfile},
      {&F::PdfSpotColorName, &P::PdfSpotColorName},
      {&F::ICCOutputColors, &P::ICCOutputColors},
      {&F::UseDots, &P::UseDots},
      {&F::MiddleDotStart, &P::MiddleDotStart},
      {&F::LargeDotStart, &P::LargeDotStart},
      {&F::MiddleDotDilution, &P::MiddleDotDilution},
      {&F::LargeDotDilution, &P::LargeDotDilution},
      {&F::PRNSequence, &P::PRNSequence},
      {&F::Suffix, &P::Suffix},
  };
  return fields;
}

struct FlagField {
  bool SettingForm::*check;
  std::optional<std::string> PresetValues::*value;
};
const std::vector<FlagField>& FlagFields() {
  using F = SettingForm;
  using P = PresetValues;
  static const std::vector<FlagField> fields = {
      {&F::UseLc, &P::UseLc},         {&F::UseLm, &P::UseLm},
      {&F::UseLk, &P::UseLk},         {&F::UseLlk, &P::UseLlk},
      {&F::UseICC, &P::UseICC},       {&F::OverrideICC, &P::OverrideICC},
      {&F::BlackPtComp, &P::BlackPtComp}, {&F::KPreserve, &P::KPreserve},
  };
  return fields;
}

// Combos whose value selects the entry with equal text.
struct TextCombo {
  ComboState SettingForm::*combo;
  std::optional<std::string> PresetValues::*value;
};
const std::vector<TextCombo>& TextCombos() {
  using F = SettingForm;
  using P = PresetValues;
  static const std::vector<TextCombo> combos = {
      {&F::RGBProfile, &P::defaultRGBProfile},       {&F::CMYKProfile, &P::defaultCMYKProfile},
      {&F::GrayProfile, &P::defaultGrayProfile},     {&F::OutputProfile, &P::defaultOutputProfile},
      {&F::RenderIntent, &P::RenderIntent},          {&F::PRNHeader, &P::PRNHeader},
  };
  return combos;
}

// Bits and DitherMethod: the value selects the entry at its position.
void SelectByPosition(ComboState& combo, const std::optional<std::string>& value,
                      const std::vector<std::string>& valid, int firstPosition) {
  if (!value) return;
  for (std::size_t i = 0; i < valid.size(); ++i) {
    if (*value == valid[i]) {
      combo.selected = firstPosition + static_cast<int>(i);
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
  for (const EditField& f : EditFields()) v.*f.value = this->*f.edit;
  for (const FlagField& f : FlagFields()) v.*f.value = (this->*f.check) ? "1" : "0";
  for (const TextCombo& c : TextCombos()) v.*c.value = (this->*c.combo).Text();
  v.Bits = Bits.Text();
  v.DitherMethod = DitherMethod.Text();
  return v;
}

void SettingForm::ApplyPresetValues(const PresetValues& values) {
  for (const EditField& f : EditFields()) {
    if (values.*f.value) this->*f.edit = *(values.*f.value);
  }
  for (const FlagField& f : FlagFields()) {
    const auto& v = values.*f.value;
    if (v == "1") this->*f.check = true;
    else if (v == "0") this->*f.check = false;
  }
  SelectByPosition(Bits, values.Bits, {"1", "2"}, 0);
  SelectByPosition(DitherMethod, values.DitherMethod, {"0", "1", "2", "3"}, 0);
  for (const TextCombo& c : TextCombos()) {
    if (values.*c.value) (this->*c.combo).SelectText(*(values.*c.value));
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
  for (const FixedCombo& c : FixedCombos()) {
    for (const std::string& e : c.entries) (form.*c.combo).AddIfMissing(e);
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
