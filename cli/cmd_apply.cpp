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

std::string ActiveSettingJson(const ActiveSetting& s) {
  JsonWriter json;
  json.BeginObject()
      .Key("settingApplied").Int(s.settingApplied)
      .Key("xResolution").String(s.xResolution)
      .Key("xResolutionValue").Int(s.xResolutionValue)
      .Key("yResolution").String(s.yResolution)
      .Key("yResolutionValue").Int(s.yResolutionValue)
      .Key("presetName").String(s.presetName)
      .Key("UseICC").String(s.UseICC)
      .Key("intentName").String(s.intentName)
      .Key("gsRenderIntent").String(s.gsRenderIntent)
      .Key("OverrideICC").String(s.OverrideICC)
      .Key("BlackPtComp").String(s.BlackPtComp)
      .Key("KPreserve").String(s.KPreserve)
      .Key("defaultRGBProfile").String(s.defaultRGBProfile)
      .Key("defaultCMYKProfile").String(s.defaultCMYKProfile)
      .Key("defaultGrayProfile").String(s.defaultGrayProfile)
      .Key("defaultOutputProfile").String(s.defaultOutputProfile)
      .Key("ICCOutputColors").String(s.ICCOutputColors)
      .Key("PdfSpotColorName").String(s.PdfSpotColorName)
      .Key("UseLc").Int(s.UseLc)
      .Key("UseLm").Int(s.UseLm)
      .Key("UseLk").Int(s.UseLk)
      .Key("UseLlk").Int(s.UseLlk)
      .Key("MiddleDotDilution").Float32(s.MiddleDotDilution, true)
      .Key("LargeDotDilution").Float32(s.LargeDotDilution, true)
      .Key("middleDotLevel").Int(s.middleDotLevel)
      .Key("largeDotLevel").Int(s.largeDotLevel)
      .Key("middleDotEnabled").Int(s.middleDotEnabled)
      .Key("largeDotEnabled").Int(s.largeDotEnabled)
      .Key("UseDots").Int(s.UseDots)
      .Key("Bits").Int(s.Bits)
      .Key("DitherMethod").Int(s.DitherMethod)
      .Key("prnHeaderIndex").Int(s.prnHeaderIndex)
      .Key("Suffix").String(s.Suffix)
      .Key("LinearProfile").String(s.LinearProfile)
      .Key("PRNSequence").String(s.PRNSequence);
  const UnderbaseSettings& u = s.underbase;
  static constexpr const char* kModes[] = {"off", "artwork", "generate", "both"};
  json.Key("underbase")
      .BeginObject()
      .Key("Underbase").String(kModes[static_cast<int>(u.mode)])
      .Key("UnderbaseInk").String(u.InkCode())
      .Key("Choke").Int(u.choke)
      .Key("Density").Float(u.density)
      .Key("UnderBlack").Float(u.underBlack)
      .Key("Knockout").String(u.knockoutWhite ? "white" : "none")
      .Key("KnockoutTolerance").Float(u.knockoutTolerance)
      .EndObject();
  WriteCurves(json, "linearIn", s.linearIn);
  WriteCurves(json, "linearOut", s.linearOut);
  json.EndObject();
  return json.str();
}

int RunApply(Env& env, const std::vector<std::string>& args) {
  if (!args.empty()) return UsageError("apply takes no arguments");
  std::printf("%s\n", ActiveSettingJson(env.session.setting).c_str());
  return env.session.setting.settingApplied == 1 ? kExitOk : kExitFailure;
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
  json.EndArray().Key("dfPreset").String(init.dfPreset).EndObject();
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
