#include "settings/preset.h"

#include "platform/platform.h"
#include "settings/setting_form.h"

namespace qm {

namespace {
constexpr std::size_t kPresetLines = 1000;

using PresetField = std::optional<std::string> PresetValues::*;

PresetKey Text(const char* key, const char* section, PresetField field, int control, std::string SettingForm::*text,
               SettingKind kind = SettingKind::kText) {
  return PresetKey{key, section, kind, field, control, nullptr, {}, false, text, nullptr, nullptr};
}

PresetKey Flag(const char* key, const char* section, PresetField field, int control, const char* caption,
               bool SettingForm::*flag) {
  return PresetKey{key, section, SettingKind::kFlag, field, control, caption, {}, false, nullptr, flag, nullptr};
}

PresetKey Choice(const char* key, const char* section, PresetField field, int control,
                 ComboState SettingForm::*choice, std::vector<std::string> entries = {}, bool onlyEntries = false) {
  return PresetKey{key, section, SettingKind::kChoice, field, control, nullptr, std::move(entries), onlyEntries,
                   nullptr, nullptr, choice};
}
}  // namespace

const std::vector<PresetKey>& PresetKeys() {
  using P = PresetValues;
  using F = SettingForm;
  using K = SettingKind;
  static const char* kPrinter = "[Printer Setting]";
  static const char* kSeparation = "[Separation Setting]";
  static const char* kColor = "[Color Management Setting]";
  static const char* kPrn = "[Prn Setting]";
  // Key, section, field, the Setting dialog's control and form field; a
  // choice's fixed entries, and whether the value must be one of them.
  static const std::vector<PresetKey> keys = {
      Text("xResolution", kPrinter, &P::xResolution, 1010, &F::xResolution, K::kNumber),
      Text("yResolution", kPrinter, &P::yResolution, 1011, &F::yResolution, K::kNumber),
      Text("LinearProfile", kPrinter, &P::LinearProfile, 1019, &F::LinearProfile),
      Flag("UseLc", kPrinter, &P::UseLc, 1014, "Lc", &F::UseLc),
      Flag("UseLm", kPrinter, &P::UseLm, 1015, "Lm", &F::UseLm),
      Flag("UseLk", kPrinter, &P::UseLk, 1016, "Lk", &F::UseLk),
      Flag("UseLlk", kPrinter, &P::UseLlk, 1017, "Llk", &F::UseLlk),
      Text("PdfSpotColorName", kSeparation, &P::PdfSpotColorName, 1013, &F::PdfSpotColorName),
      Text("ICCOutputColors", kSeparation, &P::ICCOutputColors, 1033, &F::ICCOutputColors),
      Text("UseDots", kSeparation, &P::UseDots, 1020, &F::UseDots),
      Text("MiddleDotStart", kSeparation, &P::MiddleDotStart, 1034, &F::MiddleDotStart),
      Text("LargeDotStart", kSeparation, &P::LargeDotStart, 1035, &F::LargeDotStart),
      Text("MiddleDotDilution", kSeparation, &P::MiddleDotDilution, 1021, &F::MiddleDotDilution),
      Text("LargeDotDilution", kSeparation, &P::LargeDotDilution, 1022, &F::LargeDotDilution),
      Choice("Bits", kSeparation, &P::Bits, 1018, &F::Bits, {"1", "2"}, true),
      Choice("DitherMethod", kSeparation, &P::DitherMethod, 1023, &F::DitherMethod, {"0", "1", "2", "3"}, true),
      Flag("UseICC", kColor, &P::UseICC, 1012, "Use ICC", &F::UseICC),
      Choice("defaultRGBProfile", kColor, &P::defaultRGBProfile, 1025, &F::RGBProfile),
      Choice("defaultCMYKProfile", kColor, &P::defaultCMYKProfile, 1026, &F::CMYKProfile),
      Choice("defaultGrayProfile", kColor, &P::defaultGrayProfile, 1027, &F::GrayProfile),
      Choice("defaultOutputProfile", kColor, &P::defaultOutputProfile, 1028, &F::OutputProfile),
      Choice("RenderIntent", kColor, &P::RenderIntent, 1037, &F::RenderIntent,
             {"Absolute Colorimetric", "Colorimetric", "Perceptual", "Saturation"}),
      Flag("OverrideICC", kColor, &P::OverrideICC, 1029, "Override Embeded ICC", &F::OverrideICC),
      Flag("BlackPtComp", kColor, &P::BlackPtComp, 1030, "Black Compensation", &F::BlackPtComp),
      Flag("KPreserve", kColor, &P::KPreserve, 1031, "Pure K", &F::KPreserve),
      Text("PRNSequence", kPrn, &P::PRNSequence, 1024, &F::PRNSequence),
      Choice("PRNHeader", kPrn, &P::PRNHeader, 1036, &F::PRNHeader, {"HS"}),
      Text("Suffix", kPrn, &P::Suffix, 1032, &F::Suffix),
  };
  return keys;
}

const PresetKey* FindPresetKey(std::string_view key) {
  for (const PresetKey& k : PresetKeys()) {
    if (key == k.key) return &k;
  }
  return nullptr;
}

const PresetKey* PresetKeyOf(std::optional<std::string> PresetValues::*field) {
  for (const PresetKey& k : PresetKeys()) {
    if (k.field == field) return &k;
  }
  return nullptr;
}

std::string PresetKeyName(std::optional<std::string> PresetValues::*field) {
  const PresetKey* k = PresetKeyOf(field);
  return k ? k->key : std::string();
}

bool SetPresetValue(PresetValues& values, std::string_view key, std::string_view value) {
  const PresetKey* k = FindPresetKey(key);
  if (!k) return false;
  values.*k->field = std::string(value);
  return true;
}

std::optional<PresetValues> ReadPreset(const std::filesystem::path& path) {
  const auto lines = ReadLines(path, kPresetLines);
  if (!lines) return std::nullopt;
  PresetValues values;
  for (const std::string& line : *lines) {
    const KeyValue kv = SplitKeyValue(line);
    for (const PresetKey& k : PresetKeys()) {
      if (kv.key == k.key) {
        values.*k.field = kv.value;
        break;
      }
    }
  }
  return values;
}

std::string FormatPreset(const PresetValues& values) {
  // Sections are separated by an empty line; the last line has no line end.
  std::string out;
  const char* section = nullptr;
  for (const PresetKey& k : PresetKeys()) {
    if (section != k.section) {
      if (section) out += "\r\n";
      out += k.section;
      out += "\r\n";
      section = k.section;
    }
    out += k.key;
    out += '=';
    out += (values.*k.field).value_or("");
    out += "\r\n";
  }
  out.resize(out.size() - 2);
  return out;
}

}  // namespace qm
