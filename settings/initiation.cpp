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
      {"dfPreset", "[Default Preset]", false, nullptr, &S::dfPreset},
      {"dfTifToPdf", "[TIF/JPG Use MultiColor]", true, &S::dfTifToPdf, nullptr},
      {"dfPDFRGBOpt", "[RGB Progress Optimized]", true, &S::dfPDFRGBOpt, nullptr},
      {"dfImageRt", "[Image Rotate]", true, &S::dfImageRt, nullptr},
      {"dfRotatedOri", "[Rotate Orientation]", true, &S::dfRotatedOri, nullptr},
      {"dfRotLimit", "[Rotate Condition]", false, nullptr, &S::dfRotLimit},
      {"dfImageUp", "[Image Upward]", true, &S::dfImageUp, nullptr},
      {"dfLargeImageMd", "[Large Image Model]", true, &S::dfLargeImageMd, nullptr},
      {"dfTurboMd", "[Image Turbo Model]", true, &S::dfTurboMd, nullptr},
      {"dfVectorX", "[Vector X]", false, nullptr, &S::dfVectorX},
      {"dfVectorY", "[Vector Y]", false, nullptr, &S::dfVectorY},
      {"dfEnableSep", "[Enable Separation Btn]", true, &S::dfEnableSep, nullptr},
      {"dfDitheredCk", "[Dithered Image Check]", true, &S::dfDitheredCk, nullptr},
      {"dfPreserveCF", "[Preserve Custom Files]", true, &S::dfPreserveCF, nullptr},
      {"dfActiveHF", "[Auto Acitve Hotfolder]", true, &S::dfActiveHF, nullptr},
      {"dfLaunchPAPP", "[Launch Printer App]", true, &S::dfLaunchPAPP, nullptr},
      {"dfPAPPPath", "[Printer App Path]", false, nullptr, &S::dfPAPPPath},
      {"dfMirror", "[Print Mirror]", true, &S::dfMirror, nullptr},
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
