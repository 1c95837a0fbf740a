#include "settings/preset.h"

#include "platform/platform.h"

namespace qm {

namespace {
constexpr std::size_t kPresetLines = 1000;
}

const std::vector<PresetKey>& PresetKeys() {
  using P = PresetValues;
  using K = PresetKind;
  static const char* kPrinter = "[Printer Setting]";
  static const char* kSeparation = "[Separation Setting]";
  static const char* kColor = "[Color Management Setting]";
  static const char* kPrn = "[Prn Setting]";
  static const std::vector<PresetKey> keys = {
      {"xResolution", kPrinter, K::Edit, 1010, &P::xResolution},
      {"yResolution", kPrinter, K::Edit, 1011, &P::yResolution},
      {"LinearProfile", kPrinter, K::Edit, 1019, &P::LinearProfile},
      {"UseLc", kPrinter, K::Flag, 1014, &P::UseLc},
      {"UseLm", kPrinter, K::Flag, 1015, &P::UseLm},
      {"UseLk", kPrinter, K::Flag, 1016, &P::UseLk},
      {"UseLlk", kPrinter, K::Flag, 1017, &P::UseLlk},
      {"PdfSpotColorName", kSeparation, K::Edit, 1013, &P::PdfSpotColorName},
      {"ICCOutputColors", kSeparation, K::Edit, 1033, &P::ICCOutputColors},
      {"UseDots", kSeparation, K::Edit, 1020, &P::UseDots},
      {"MiddleDotStart", kSeparation, K::Edit, 1034, &P::MiddleDotStart},
      {"LargeDotStart", kSeparation, K::Edit, 1035, &P::LargeDotStart},
      {"MiddleDotDilution", kSeparation, K::Edit, 1021, &P::MiddleDotDilution},
      {"LargeDotDilution", kSeparation, K::Edit, 1022, &P::LargeDotDilution},
      {"Bits", kSeparation, K::Combo, 1018, &P::Bits},
      {"DitherMethod", kSeparation, K::Combo, 1023, &P::DitherMethod},
      {"UseICC", kColor, K::Flag, 1012, &P::UseICC},
      {"defaultRGBProfile", kColor, K::Combo, 1025, &P::defaultRGBProfile},
      {"defaultCMYKProfile", kColor, K::Combo, 1026, &P::defaultCMYKProfile},
      {"defaultGrayProfile", kColor, K::Combo, 1027, &P::defaultGrayProfile},
      {"defaultOutputProfile", kColor, K::Combo, 1028, &P::defaultOutputProfile},
      {"RenderIntent", kColor, K::Combo, 1037, &P::RenderIntent},
      {"OverrideICC", kColor, K::Flag, 1029, &P::OverrideICC},
      {"BlackPtComp", kColor, K::Flag, 1030, &P::BlackPtComp},
      {"KPreserve", kColor, K::Flag, 1031, &P::KPreserve},
      {"PRNSequence", kPrn, K::Edit, 1024, &P::PRNSequence},
      {"PRNHeader", kPrn, K::Combo, 1036, &P::PRNHeader},
      {"Suffix", kPrn, K::Edit, 1032, &P::Suffix},
  };
  return keys;
}

const PresetKey* FindPresetKey(std::string_view key) {
  for (const PresetKey& k : PresetKeys()) {
    if (key == k.key) return &k;
  }
  return nullptr;
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
