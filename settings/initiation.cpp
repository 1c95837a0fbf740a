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
  static const std::vector<InitiationKey> keys = {
      {"dfPreset", "[Default Preset]", false, 1039, nullptr, &S::dfPreset},
      {"dfTifToPdf", "[TIF/JPG Use MultiColor]", true, 1058, &S::dfTifToPdf, nullptr},
      {"dfPDFRGBOpt", "[RGB Progress Optimized]", true, 1060, &S::dfPDFRGBOpt, nullptr},
      {"dfImageRt", "[Image Rotate]", true, 1056, &S::dfImageRt, nullptr},
      {"dfRotatedOri", "[Rotate Orientation]", true, 1057, &S::dfRotatedOri, nullptr},
      {"dfRotLimit", "[Rotate Condition]", false, 1061, nullptr, &S::dfRotLimit},
      {"dfImageUp", "[Image Upward]", true, 1067, &S::dfImageUp, nullptr},
      {"dfLargeImageMd", "[Large Image Model]", true, 1059, &S::dfLargeImageMd, nullptr},
      {"dfTurboMd", "[Image Turbo Model]", true, 1051, &S::dfTurboMd, nullptr},
      {"dfVectorX", "[Vector X]", false, 1062, nullptr, &S::dfVectorX},
      {"dfVectorY", "[Vector Y]", false, 1064, nullptr, &S::dfVectorY},
      {"dfEnableSep", "[Enable Separation Btn]", true, 1050, &S::dfEnableSep, nullptr},
      {"dfDitheredCk", "[Dithered Image Check]", true, 1048, &S::dfDitheredCk, nullptr},
      {"dfPreserveCF", "[Preserve Custom Files]", true, 1055, &S::dfPreserveCF, nullptr},
      {"dfActiveHF", "[Auto Acitve Hotfolder]", true, 1063, &S::dfActiveHF, nullptr},
      {"dfLaunchPAPP", "[Launch Printer App]", true, 1065, &S::dfLaunchPAPP, nullptr},
      {"dfPAPPPath", "[Printer App Path]", false, 1066, nullptr, &S::dfPAPPPath},
  };
  return keys;
}

std::filesystem::path InitiationPath(const std::filesystem::path& appDir) {
  return appDir / "Configuration" / "initiation.ini";
}

bool SetInitiationValue(InitiationSettings& settings, std::string_view key, std::string_view value) {
  for (const InitiationKey& k : InitiationKeys()) {
    if (key != k.key) continue;
    if (k.isFlag) {
      if (value == "1") settings.*k.flag = true;
      else if (value == "0") settings.*k.flag = false;
      else return false;
    } else {
      settings.*k.text = std::string(value);
    }
    return true;
  }
  return false;
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
    if (k.isFlag) {
      out += (settings.*k.flag) ? "1" : "0";
    } else {
      const std::string& text = settings.*k.text;
      out += (k.text == &InitiationSettings::dfRotLimit && text.empty()) ? std::string("0") : text;
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
