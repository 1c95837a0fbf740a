// apply: start-up only; prints the ActiveSetting as JSON.
#include <cstdio>

#include "cli/cli.h"
#include "platform/json.h"
#include "platform/platform.h"
#include "settings/initiation.h"
#include "settings/setting_form.h"
#include "settings/underbase.h"

namespace qm::cli {

namespace {

void WriteCurves(JsonWriter& json, const char* key, const CurveNodes& nodes) {
  json.Key(key).BeginArray();
  for (const auto& slot : nodes) {
    json.BeginArray();
    for (float v : slot) json.Float32(v);
    json.EndArray();
  }
  json.EndArray();
}

// One field of the JSON: its name and the member it shows (one of three).
struct JsonField {
  std::string name;
  std::string ActiveSetting::*text = nullptr;
  int32_t ActiveSetting::*number = nullptr;
  float ActiveSetting::*fraction = nullptr;  // written with a point
};

// The fields in the order of the JSON; a field that holds a preset key's value
// is named by the key.
const std::vector<JsonField>& JsonFields() {
  using A = ActiveSetting;
  using P = PresetValues;
  auto text = [](std::string name, std::string A::*f) { return JsonField{std::move(name), f}; };
  auto number = [](std::string name, int32_t A::*f) { return JsonField{std::move(name), nullptr, f}; };
  auto fraction = [](std::string name, float A::*f) { return JsonField{std::move(name), nullptr, nullptr, f}; };
  auto key = [](std::optional<std::string> P::*f) { return PresetKeyName(f); };
  static const std::vector<JsonField> fields = {
      number("settingApplied", &A::settingApplied),
      text(key(&P::xResolution), &A::xResolution),
      number("xResolutionValue", &A::xResolutionValue),
      text(key(&P::yResolution), &A::yResolution),
      number("yResolutionValue", &A::yResolutionValue),
      text("presetName", &A::presetName),
      text(key(&P::UseICC), &A::UseICC),
      text("intentName", &A::intentName),
      text("gsRenderIntent", &A::gsRenderIntent),
      text(key(&P::OverrideICC), &A::OverrideICC),
      text(key(&P::BlackPtComp), &A::BlackPtComp),
      text(key(&P::KPreserve), &A::KPreserve),
      text(key(&P::defaultRGBProfile), &A::defaultRGBProfile),
      text(key(&P::defaultCMYKProfile), &A::defaultCMYKProfile),
      text(key(&P::defaultGrayProfile), &A::defaultGrayProfile),
      text(key(&P::defaultOutputProfile), &A::defaultOutputProfile),
      text(key(&P::ICCOutputColors), &A::ICCOutputColors),
      text(key(&P::PdfSpotColorName), &A::PdfSpotColorName),
      number(key(&P::UseLc), &A::UseLc),
      number(key(&P::UseLm), &A::UseLm),
      number(key(&P::UseLk), &A::UseLk),
      number(key(&P::UseLlk), &A::UseLlk),
      fraction(key(&P::MiddleDotDilution), &A::MiddleDotDilution),
      fraction(key(&P::LargeDotDilution), &A::LargeDotDilution),
      number("middleDotLevel", &A::middleDotLevel),
      number("largeDotLevel", &A::largeDotLevel),
      number("middleDotEnabled", &A::middleDotEnabled),
      number("largeDotEnabled", &A::largeDotEnabled),
      number(key(&P::UseDots), &A::UseDots),
      number(key(&P::Bits), &A::Bits),
      number(key(&P::DitherMethod), &A::DitherMethod),
      number("prnHeaderIndex", &A::prnHeaderIndex),
      text(key(&P::Suffix), &A::Suffix),
      text(key(&P::LinearProfile), &A::LinearProfile),
      text(key(&P::PRNSequence), &A::PRNSequence),
  };
  return fields;
}

void WriteUnderbase(JsonWriter& json, const UnderbaseSettings& u) {
  json.Key("underbase").BeginObject();
  for (const UnderbaseKey& k : UnderbaseKeys()) {
    json.Key(k.key);
    switch (k.field) {
      case UnderbaseField::kMode: json.String(k.entries[static_cast<std::size_t>(u.mode)]); break;
      case UnderbaseField::kInk: json.String(u.InkCode()); break;
      case UnderbaseField::kChoke: json.Int(u.choke); break;
      case UnderbaseField::kDensity: json.Float(u.density); break;
      case UnderbaseField::kUnderBlack: json.Float(u.underBlack); break;
      case UnderbaseField::kKnockout: json.String(k.entries[u.knockoutWhite ? 1 : 0]); break;
      case UnderbaseField::kKnockoutTolerance: json.Float(u.knockoutTolerance); break;
    }
  }
  json.EndObject();
}

std::string ActiveSettingJson(const ActiveSetting& s) {
  JsonWriter json;
  json.BeginObject();
  for (const JsonField& f : JsonFields()) {
    json.Key(f.name);
    if (f.text) json.String(s.*f.text);
    else if (f.number) json.Int(s.*f.number);
    else json.Float32(s.*f.fraction, true);
  }
  WriteUnderbase(json, s.underbase);
  WriteCurves(json, "linearIn", s.linearIn);
  WriteCurves(json, "linearOut", s.linearOut);
  json.EndObject();
  return json.str();
}

int RunApply(Env& env, const std::vector<std::string>& args) {
  if (!args.empty()) return UsageError("apply takes no arguments");
  std::printf("%s\n", ActiveSettingJson(env.session.setting).c_str());
  return env.session.setting.Applied() ? kExitOk : kExitFailure;
}

// presets: the preset files of the Configuration and the default one.
int RunPresets(Env& env, const std::vector<std::string>& args) {
  if (!args.empty()) return UsageError("presets takes no arguments");
  InitiationSettings init;
  ReadInitiation(InitiationPath(AppDir()), init);  // without it, no default
  for (const auto& [key, value] : env.options.sets) SetInitiationValue(init, key, value);
  JsonWriter json;
  json.BeginObject().Key("presets").BeginArray();
  for (const std::string& name : ListPresetFiles(AppDir())) json.String(name);
  json.EndArray().Key(InitiationKeyName(&InitiationSettings::dfPreset)).String(init.dfPreset).EndObject();
  std::printf("%s\n", json.str().c_str());
  return kExitOk;
}

}  // namespace

QM_CLI_COMMAND("apply", "", "start-up only; print ActiveSetting as JSON",
               "Reads the initiation file, applies the --set overrides, selects the preset (--preset, else\n"
               "dfPreset) and applies it, as the window does at start-up.\n"
               "Prints: the ActiveSetting as one JSON object on standard output (also when Apply failed,\n"
               "with \"settingApplied\": 0); start-up failures as messages on standard error.\n"
               "Exit status: 0 when the preset was applied, 1 when settingApplied is 0, 2 bad usage.",
               true, RunApply);
QM_CLI_COMMAND("presets", "", "the preset files and the default preset, as JSON",
               "Lists the files Configuration/*.cfg of the AppDir, as the preset combos do, and the\n"
               "default preset dfPreset of the initiation file (with --set overrides).\n"
               "Prints: {\"presets\": [\"Default.cfg\", ...], \"dfPreset\": \"Default.cfg\"}.\n"
               "Exit status: 0, or 2 bad usage.",
               false, RunPresets);

}  // namespace qm::cli
