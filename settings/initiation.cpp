#include "settings/initiation.h"

#include "platform/message_sink.h"
#include "platform/platform.h"

namespace qm {

namespace {
constexpr std::size_t kInitiationLines = 100;
constexpr const char* kCrLf = "\r\n";
}  // namespace

const std::vector<InitiationKey>& InitiationKeys() {
  using S = InitiationSettings;
  using K = SettingKind;
  auto flag = [](const char* key, const char* section, bool S::*field, int control, const char* caption) {
    return InitiationKey{key, section, K::kFlag, field, nullptr, control, caption};
  };
  auto text = [](const char* key, const char* section, std::string S::*field, int control, K kind = K::kText,
                 const char* emptyAs = "") {
    return InitiationKey{key, section, kind, nullptr, field, control, nullptr, emptyAs};
  };
  // Key, section, field, the Workflow dialog's control and check box caption.
  static const std::vector<InitiationKey> keys = {
      text("dfPreset", "[Default Preset]", &S::dfPreset, 1039),
      flag("dfTifToPdf", "[TIF/JPG Use MultiColor]", &S::dfTifToPdf, 1058, "PDF for MultiColor ICC"),
      flag("dfPDFRGBOpt", "[RGB Progress Optimized]", &S::dfPDFRGBOpt, 1060, "Optimized for PDF"),
      flag("dfImageRt", "[Image Rotate]", &S::dfImageRt, 1056, "Rotated 90d"),
      flag("dfRotatedOri", "[Rotate Orientation]", &S::dfRotatedOri, 1057, "Anticlockwise"),
      text("dfRotLimit", "[Rotate Condition]", &S::dfRotLimit, 1061, K::kNumber, "0"),
      flag("dfImageUp", "[Image Upward]", &S::dfImageUp, 1067, "Upward"),
      flag("dfLargeImageMd", "[Large Image Model]", &S::dfLargeImageMd, 1059, "Used ( speed up large image)"),
      flag("dfTurboMd", "[Image Turbo Model]", &S::dfTurboMd, 1051, "Used ( Need more Memory)"),
      text("dfVectorX", "[Vector X]", &S::dfVectorX, 1062, K::kNumber),
      text("dfVectorY", "[Vector Y]", &S::dfVectorY, 1064, K::kNumber),
      flag("dfEnableSep", "[Enable Separation Btn]", &S::dfEnableSep, 1050, "Enabled"),
      flag("dfDitheredCk", "[Dithered Image Check]", &S::dfDitheredCk, 1048, "Dithered"),
      flag("dfPreserveCF", "[Preserve Custom Files]", &S::dfPreserveCF, 1055, "Preserved"),
      flag("dfActiveHF", "[Auto Acitve Hotfolder]", &S::dfActiveHF, 1063, "Actived"),
      flag("dfLaunchPAPP", "[Launch Printer App]", &S::dfLaunchPAPP, 1065, "Launched"),
      text("dfPAPPPath", "[Printer App Path]", &S::dfPAPPPath, 1066),
      flag("dfMirror", "[Print Mirror]", &S::dfMirror, 1068, "Mirrored"),
  };
  return keys;
}

const InitiationKey* FindInitiationKey(std::string_view key) {
  for (const InitiationKey& k : InitiationKeys()) {
    if (key == k.key) return &k;
  }
  return nullptr;
}

std::string InitiationKeyName(std::string InitiationSettings::*field) {
  for (const InitiationKey& k : InitiationKeys()) {
    if (k.text == field) return k.key;
  }
  return std::string();
}

std::filesystem::path InitiationPath(const std::filesystem::path& appDir) {
  return appDir / "Configuration" / "initiation.ini";
}

bool SetInitiationValue(InitiationSettings& settings, std::string_view key, std::string_view value) {
  const InitiationKey* k = FindInitiationKey(key);
  if (!k) return false;
  if (k->isFlag()) {
    if (value == "1") settings.*k->flag = true;
    else if (value == "0") settings.*k->flag = false;
    else return false;
  } else {
    settings.*k->text = std::string(value);
  }
  return true;
}

bool ReadInitiation(const std::filesystem::path& path, InitiationSettings& settings) {
  const auto lines = ReadLines(path, kInitiationLines);
  if (!lines) return false;
  for (const std::string& line : *lines) {
    const KeyValue kv = SplitKeyValue(line);
    SetInitiationValue(settings, kv.key, kv.value);  // unknown keys and bad flags are skipped
  }
  return true;
}

std::string FormatInitiation(const InitiationSettings& settings) {
  std::string out;
  bool first = true;
  for (const InitiationKey& k : InitiationKeys()) {
    if (!first) out += kCrLf;
    first = false;
    out += k.section;
    out += kCrLf;
    out += k.key;
    out += '=';
    if (k.isFlag()) {
      out += (settings.*k.flag) ? "1" : "0";
    } else {
      const std::string& text = settings.*k.text;
      out += text.empty() ? k.emptyAs : text;
    }
    out += kCrLf;
  }
  return out;
}

bool SaveToDefault(const std::filesystem::path& appDir, const InitiationSettings& settings,
                   bool presetSelected, MessageSink& sink) {
  if (!presetSelected) {
    sink.ShowMessage(kChoosePresetToSave);
    return false;
  }
  // Written through a temporary file and a rename, so a failed write keeps
  // the old file instead of leaving none.
  if (!WriteFileAtomically(InitiationPath(appDir), FormatInitiation(settings))) return false;
  sink.ShowMessage(kSaved);
  return true;
}

}  // namespace qm
